#include "app/app_context.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "base/messages.h"
#include "support/scripted_prompter.h"

namespace dravik::app {
namespace {

class StderrPrompter : public test::ScriptedPrompter {
public:
    void FatalError(const std::string& text) noexcept override { std::fprintf(stderr, "fatal: %s\n", text.c_str()); }
};

TEST(AppContextDeathTest, OutOfMemoryTellsTheUserAndEndsWithCodeZero) {
    StderrPrompter prompter;
    EXPECT_EXIT(ExitOutOfMemory(prompter), ::testing::ExitedWithCode(0), "fatal: Out Of Memory");
}

TEST(AppContext, FreshContextsShareNothing) {
    test::ScriptedPrompter p;
    AppContext a(p), b(p);
    a.source.SelectVolume('D');
    a.source.BadSectorPolicy = base::BadSectorAnswer::SkipAll;
    a.analysis.settings.fromLog = true;
    EXPECT_EQ(b.source.CurrentDevicePath(), "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(b.source.BadSectorPolicy, base::BadSectorAnswer::RetryOnce);
    EXPECT_EQ(b.source.BytesPerSector, 512);
    EXPECT_FALSE(b.analysis.settings.fromLog);
}

}  // namespace
}  // namespace dravik::app
