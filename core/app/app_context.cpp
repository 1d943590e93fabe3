#include "app/app_context.h"

#include <cstdlib>

#include "base/messages.h"

namespace dravik::app {

void ExitOutOfMemory(base::Prompter& prompter) noexcept {
    prompter.FatalError(base::msg::kOutOfMemory);
    std::_Exit(0);
}

AppContext::AppContext(base::Prompter& p, source::DeviceOpenFn open)
    : prompter(p),
      reader(source, devices, p, std::move(open)),
      items([&p] { ExitOutOfMemory(p); }) {}

AppContext::operator analysis::AnalysisContext() {
    return {prompter, source, reader, analysis, items, [this] { return drives::SelectedDiskModel(*this); }};
}

}  // namespace dravik::app
