// The demo scripts shipped in demo/ run to the end against the simulated
// dispenser without a single failed exchange.
#include "support_tdl_fixture.h"

#include <gtest/gtest.h>

namespace kyd::link::test {
namespace {

class DemoScripts : public TdlFixture {};

TEST_F(DemoScripts, EveryShippedDemoScriptRunsCleanly)
{
    const std::filesystem::path demoDir = std::filesystem::path(KYD_TEST_DATA_DIR) / ".." / ".." / ".." / "demo";
    int scripts = 0;
    for (const auto& entry : std::filesystem::directory_iterator(demoDir)) {
        if (entry.path().extension() != ".tdl")
            continue;
        ++scripts;
        SCOPED_TRACE(entry.path().filename().string());
        int shown = 0;
        script->ShowCassetteDialog = [&](Protokoll&) { ++shown; };
        ASSERT_TRUE(script->Load(entry.path().string()));
        EXPECT_EQ(script->Run(1), 0);
        EXPECT_TRUE(Dialogs().empty()) << Dialogs().front();
        EXPECT_TRUE(model.Succeeded()) << model.CodeText;
        EXPECT_GE(Commands().size(), 3u);
        ClearCommands();
        dialogs.clear();
    }
    EXPECT_GE(scripts, 2);
}

} // namespace
} // namespace kyd::link::test
