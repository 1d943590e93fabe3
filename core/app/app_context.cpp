#include "app/app_context.h"

#include <cstdlib>

#include "app/messages.h"

namespace dravik::app {

void ExitOutOfMemory(Prompter& prompter) noexcept {
    prompter.FatalError(msg::kOutOfMemory);
    std::_Exit(0);
}

AppContext::AppContext(Prompter& p, source::DeviceOpenFn open)
    : prompter(p),
      reader(source, devices, p, std::move(open)),
      items([&p] { ExitOutOfMemory(p); }) {}

}  // namespace dravik::app
