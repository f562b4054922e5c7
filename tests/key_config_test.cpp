// The key record and its file, through real files in a temporary current
// folder. The debugger lines are checked as a debugger sees them: a child
// process (this program, started with --file-scenarios) runs the load/save
// flow in prepared folders while this process collects its debugger output.
#include "key_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "child_processes.h"
#include "debugger_capture.h"
#include "keyconfig_test_data.h"
#include "test_files.h"

namespace {

Bytes RecordBytes() {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(&KeyConfig);
  return Bytes(p, p + sizeof KeyConfig);
}

struct KeyConfigFile : ::testing::Test {
  TempFolder folder;
  CurrentFolder current{folder.path};
  std::string file = folder.Join("system\\config.dat");
  void SetUp() override { memset(&KeyConfig, 0xEE, sizeof KeyConfig); }
  void MakeSystem() { MakeFolder(folder.Join("system")); }
};

TEST_F(KeyConfigFile, DefaultsAreTheDocumentedBytes) {
  SetDefaultConfig();
  EXPECT_EQ(RecordBytes(), kDefaultBytes);
}

TEST_F(KeyConfigFile, SaveWithoutFileCreatesExactlyTheRecord) {
  MakeSystem();
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 1);
  EXPECT_EQ(ReadBytes(file), kDefaultBytes);
}

TEST_F(KeyConfigFile, NoFileLeavesRecordUntouched) {
  MakeSystem();
  Bytes before = RecordBytes();
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(RecordBytes(), before);
  EXPECT_FALSE(Exists(file));
}

TEST_F(KeyConfigFile, NoSystemFolderFailsBothWaysAndCreatesNothing) {
  EXPECT_EQ(LoadConfig(), 0);
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 0);
  EXPECT_FALSE(Exists(folder.Join("system")));
}

TEST_F(KeyConfigFile, ShortFilesFailToLoad) {
  MakeSystem();
  for (size_t size : {0u, 1u, 95u}) {
    WriteBytes(file, PatternBytes(size, 1));
    EXPECT_EQ(LoadConfig(), 0) << size << " bytes";
  }
}

TEST_F(KeyConfigFile, OddValuesLoadAndSaveBackUnchanged) {
  MakeSystem();
  WriteBytes(file, OddRecord());
  EXPECT_EQ(LoadConfig(), 1);
  EXPECT_EQ(RecordBytes(), OddRecord());
  EXPECT_EQ(KeyConfig.up.player1, 1000);
  EXPECT_EQ(KeyConfig.padA.player1, 9);
  EXPECT_EQ(KeyConfig.padD.player2, -1);
  EXPECT_EQ(SaveConfig(), 1);
  EXPECT_EQ(ReadBytes(file), OddRecord());
}

TEST_F(KeyConfigFile, LongerFileKeepsItsTail) {
  MakeSystem();
  Bytes content = PatternBytes(100, 7);
  WriteBytes(file, content);
  EXPECT_EQ(LoadConfig(), 1);
  EXPECT_EQ(RecordBytes(), Bytes(content.begin(), content.begin() + 96));
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 1);
  Bytes after = ReadBytes(file);
  ASSERT_EQ(after.size(), 100u);
  EXPECT_EQ(Bytes(after.begin(), after.begin() + 96), kDefaultBytes);
  EXPECT_EQ(Bytes(after.begin() + 96, after.end()),
            Bytes(content.begin() + 96, content.end()));
}

TEST_F(KeyConfigFile, FileHeldWithoutSharingBlocksLoadAndSave) {
  MakeSystem();
  WriteBytes(file, OddRecord());
  HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Bytes before = RecordBytes();
  EXPECT_EQ(LoadConfig(), 0);
  EXPECT_EQ(RecordBytes(), before);
  SetDefaultConfig();
  EXPECT_EQ(SaveConfig(), 0);
  CloseHandle(held);
  EXPECT_EQ(ReadBytes(file), OddRecord());
}

TEST_F(KeyConfigFile, UsesTheCurrentFolderNotTheProgramFolder) {
  MakeSystem();
  SetDefaultConfig();
  ASSERT_EQ(SaveConfig(), 1);
  EXPECT_TRUE(Exists(file));
  char program[MAX_PATH];
  GetModuleFileNameA(nullptr, program, MAX_PATH);
  std::string programFolder(program);
  programFolder.resize(programFolder.rfind('\\'));
  EXPECT_NE(programFolder, folder.path);
}

// --- Debugger lines, from a child process -------------------------------

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
  return {{{command, scenarioRoot->path, nullptr}},
          [held] { CloseHandle(held); }};
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
