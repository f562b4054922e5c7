// The debugger lines of the load/save flow, checked as a monitor of the
// debugger output sees them: a child process (this program, started with
// --file-scenarios) runs the flow in prepared folders.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "child_processes.h"
#include "debugger_capture.h"
#include "key_config.h"
#include "keyconfig_test_data.h"
#include "test_files.h"

namespace {

// Each scenario folder is prepared here, then the child runs the entry
// flow without the dialog (load, defaults on failure, save) in it.
const char *const kScenarioNames[] = {"no_file", "no_system", "empty",
                                      "short95", "odd96",     "long100",
                                      "held",    "full"};

std::string FullDeviceFolder() {
  const char *folder = getenv("KEYCONFIG_FULL_FOLDER");
  return folder ? folder : "";
}

}  // namespace

// Runs in the child: one section per scenario, marked for the parent.
int RunFileScenarios(const char *root) {
  for (const char *name : kScenarioNames) {
    std::string folder = std::string(root) + "\\" + name;
    if (std::string(name) == "full") {
      if (FullDeviceFolder().empty()) continue;
      folder = FullDeviceFolder();
    }
    SetCurrentDirectoryA(folder.c_str());
    OutputDebugStringA((std::string("@begin ") + name + "\n").c_str());
    if (!LoadConfig()) SetDefaultConfig();
    SaveConfig();
  }
  OutputDebugStringA("@begin end\n");
  return 0;
}

namespace {

// The scenario folders live until the program ends: the first test that
// needs any child starts them all.
TempFolder *scenarioRoot;

std::string Folder(const char *name) { return scenarioRoot->Join(name); }

}  // namespace

ChildGroup FileScenarioChildren() {
  scenarioRoot = new TempFolder;
  for (const char *name : kScenarioNames) MakeFolder(Folder(name));
  for (const char *name : kScenarioNames)
    if (std::string(name) != "no_system") MakeFolder(Folder(name) + "\\system");
  WriteBytes(Folder("empty") + "\\system\\config.dat", {});
  WriteBytes(Folder("short95") + "\\system\\config.dat", PatternBytes(95, 3));
  WriteBytes(Folder("odd96") + "\\system\\config.dat", OddRecord());
  WriteBytes(Folder("long100") + "\\system\\config.dat", PatternBytes(100, 9));
  WriteBytes(Folder("held") + "\\system\\config.dat", OddRecord());
  HANDLE held = CreateFileA((Folder("held") + "\\system\\config.dat").c_str(),
                            GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = "\"" + std::string(self) + "\" --file-scenarios \"" +
                        scenarioRoot->path + "\"";
  ProgramLaunch launch;
  launch.commandLine = command;
  launch.workDir = scenarioRoot->path;
  return {{launch}, [held] { CloseHandle(held); }};
}

namespace {

struct DebuggerLines : ::testing::Test {
  static DebuggeeRun scenarios;
  static void SetUpTestSuite() {
    scenarios = RunChildrenOnce().fileScenarios.at(0);
  }
  static void TearDownTestSuite() {
    delete scenarioRoot;
    scenarioRoot = nullptr;
  }
  std::string File(const char *name) {
    return Folder(name) + "\\system\\config.dat";
  }
};

DebuggeeRun DebuggerLines::scenarios;

using Lines = std::vector<std::string>;

TEST_F(DebuggerLines, ChildRanToTheEnd) {
  ASSERT_TRUE(scenarios.started);
  ASSERT_TRUE(scenarios.exited);
  EXPECT_EQ(scenarios.exitCode, 0u);
  ASSERT_FALSE(scenarios.lines.empty());
  EXPECT_EQ(scenarios.lines.back(), "@begin end\n");
}

TEST_F(DebuggerLines, MissingFileGivesOpenLineThenDefaultsAreSaved) {
  EXPECT_EQ(LinesOfSection(scenarios, "no_file"), Lines{kLoadOpenFailed});
  EXPECT_EQ(ReadBytes(File("no_file")), kDefaultBytes);
}

TEST_F(DebuggerLines, MissingFolderGivesBothOpenLinesAndCreatesNothing) {
  EXPECT_EQ(LinesOfSection(scenarios, "no_system"),
            (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  EXPECT_FALSE(Exists(Folder("no_system") + "\\system"));
}

TEST_F(DebuggerLines, ShortFilesGiveReadLineAndNoByteSurvives) {
  EXPECT_EQ(LinesOfSection(scenarios, "empty"), Lines{kLoadReadFailed});
  EXPECT_EQ(ReadBytes(File("empty")), kDefaultBytes);
  EXPECT_EQ(LinesOfSection(scenarios, "short95"), Lines{kLoadReadFailed});
  EXPECT_EQ(ReadBytes(File("short95")), kDefaultBytes);
}

TEST_F(DebuggerLines, GoodFilesSendNothing) {
  EXPECT_EQ(LinesOfSection(scenarios, "odd96"), Lines{});
  EXPECT_EQ(ReadBytes(File("odd96")), OddRecord());
  EXPECT_EQ(LinesOfSection(scenarios, "long100"), Lines{});
  EXPECT_EQ(ReadBytes(File("long100")), PatternBytes(100, 9));
}

TEST_F(DebuggerLines, FileHeldByAnotherProcessGivesBothOpenLines) {
  EXPECT_EQ(LinesOfSection(scenarios, "held"),
            (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  EXPECT_EQ(ReadBytes(File("held")), OddRecord());
}

TEST_F(DebuggerLines, FailedWriteGivesWriteLine) {
  if (FullDeviceFolder().empty())
    GTEST_SKIP() << "KEYCONFIG_FULL_FOLDER not set by the test script";
  // The file there is the full device: reads give zeros, writes fail.
  EXPECT_EQ(LinesOfSection(scenarios, "full"), Lines{kSaveWriteFailed});
}

}  // namespace
