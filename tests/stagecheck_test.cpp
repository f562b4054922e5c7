// stagecheck in this process: our two plug-ins hold every rule, and each
// plug-in broken on purpose (plugins/broken/RULE.cpp) fails its own rule
// and no other.
#include "stagecheck.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "test_files.h"

namespace {

std::set<std::string> Failed(const CheckReport &report) {
  std::set<std::string> failed;
  for (const RuleOutcome &rule : report.rules)
    if (!rule.passed) failed.insert(rule.name);
  return failed;
}

std::string Details(const CheckReport &report) {
  std::string text = report.error;
  for (const RuleOutcome &rule : report.rules)
    if (!rule.passed)
      text += "\n" + std::string(rule.name) + ": " + rule.detail;
  return text;
}

TEST(Stagecheck, OurPluginsHoldEveryRule) {
  for (const char *plugin : {"stage.dll", "tessel.dll"}) {
    CheckReport report = CheckPlugin(plugin, nullptr, false);
    EXPECT_EQ(report.exitCode, 0) << plugin << Details(report);
    EXPECT_EQ(report.rules.size(), 13u);
    EXPECT_EQ(Failed(report), std::set<std::string>{}) << plugin;
    EXPECT_NE(report.cost.find("times"), std::string::npos) << report.cost;
  }
}

TEST(Stagecheck, EachBrokenPluginFailsItsOwnRuleAlone) {
  CheckReport good = CheckPlugin("stage.dll", nullptr, false);
  for (const RuleOutcome &rule : good.rules) {
    SCOPED_TRACE(rule.name);
    std::string path = std::string("broken\\") + rule.name + ".dll";
    CheckReport report = CheckPlugin(path.c_str(), nullptr, false);
    EXPECT_EQ(report.exitCode, 1) << Details(report);
    EXPECT_EQ(Failed(report), std::set<std::string>{rule.name})
        << Details(report);
  }
}

TEST(Stagecheck, NoPluginIsExitCodeTwo) {
  CheckReport missing = CheckPlugin("nothing.dll", nullptr, false);
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.error.find("cannot load"), std::string::npos);
  CheckReport notPlugin = CheckPlugin("kernel32.dll", nullptr, false);
  EXPECT_EQ(notPlugin.exitCode, 2);
  EXPECT_NE(notPlugin.error.find("exports no CreateStage"), std::string::npos);
}

// A draw that never returns ends the run with a FAIL line for the rule
// that called it, after the rules before it were reported.
TEST(Stagecheck, AHangingCallEndsTheRunWithAFailure) {
  std::string output;
  EXPECT_EQ(
      RunProgram("stagecheck.exe --call-limit 2 broken\\hanging_plugin.dll",
                 &output),
      1);
  EXPECT_NE(output.find("PASS  create-stage"), std::string::npos) << output;
  EXPECT_NE(output.find("FAIL  draw-before-load   draw before load calls "
                        "nothing\n      saw: draw did not return within 2 s"),
            std::string::npos)
      << output;
}

}  // namespace

// A plug-in that scribbled over its own image is left loaded and never
// run again; the process ends without unloading it.
int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), UINT(result));
  return result;
}
