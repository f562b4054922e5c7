// The key record and its file, through real files in a temporary current
// folder. The debugger lines are checked as a debugger sees them: a child
// process (this program, started with --file-scenarios) runs the load/save
// flow in prepared folders while this process collects its debugger output.
#include "key_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "debugger_capture.h"
#include "test_files.h"

namespace {

// The 96 bytes of a save with the factory defaults, offset 0 first.
const Bytes kDefaultBytes = {
    0x26, 0, 0, 0, 0x57, 0, 0, 0, 0x28, 0, 0, 0, 0x53, 0, 0, 0, 0x25, 0, 0, 0,
    0x41, 0, 0, 0, 0x27, 0, 0, 0, 0x44, 0, 0, 0, 0x31, 0, 0, 0, 0x5A, 0, 0, 0,
    0x32, 0, 0, 0, 0x58, 0, 0, 0, 0x33, 0, 0, 0, 0x43, 0, 0, 0, 0x34, 0, 0, 0,
    0x56, 0, 0, 0, 0x00, 0, 0, 0, 0x00, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0,
    0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x03, 0, 0, 0, 0x03, 0, 0, 0,
};

const std::string kLoadOpenFailed =
    "LoadConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x83\x49\x81\x5B\x83\x76\x83\x93\x8E\xB8\x94\x73\n";
const std::string kLoadReadFailed =
    "LoadConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x93\xC7\x82\xDD\x8D\x9E\x82\xDD\x8E\xB8\x94\x73\n";
const std::string kSaveOpenFailed =
    "SaveConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x83\x49\x81\x5B\x83\x76\x83\x93\x8E\xB8\x94\x73\n";
const std::string kSaveWriteFailed =
    "SaveConfig() : \x90\xDD\x92\xE8\x83\x74\x83\x40\x83\x43\x83\x8B"
    "\x8F\x91\x82\xAB\x8D\x9E\x82\xDD\x8E\xB8\x94\x73\n";

Bytes RecordBytes() {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(&KeyConfig);
  return Bytes(p, p + sizeof KeyConfig);
}

// Values no dialog would produce: pad 9, key 1000, negatives.
Bytes OddRecord() {
  std::vector<int> values;
  for (int i = 0; i < 24; ++i) values.push_back(i * 37 - 100);
  values[0] = 1000;
  values[16] = 9;
  values[23] = -1;
  return Int32Bytes(values);
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
struct Scenario {
  const char *name;
  void (*prepare)(const TempFolder &root, const std::string &folder);
};

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

struct DebuggerLines : ::testing::Test {
  static TempFolder *root;
  static DebuggeeRun scenarios;
  static DebuggeeRun wholeProgram;
  static TempFolder *programFolder;

  static std::string Folder(const char *name) { return root->Join(name); }

  static void SetUpTestSuite() {
    root = new TempFolder;
    for (const char *name : kScenarioNames) MakeFolder(Folder(name));
    for (const char *name : kScenarioNames)
      if (std::string(name) != "no_system")
        MakeFolder(Folder(name) + "\\system");
    WriteBytes(Folder("empty") + "\\system\\config.dat", {});
    WriteBytes(Folder("short95") + "\\system\\config.dat", PatternBytes(95, 3));
    WriteBytes(Folder("odd96") + "\\system\\config.dat", OddRecord());
    WriteBytes(Folder("long100") + "\\system\\config.dat",
               PatternBytes(100, 9));
    WriteBytes(Folder("held") + "\\system\\config.dat", OddRecord());
    HANDLE held = CreateFileA((Folder("held") + "\\system\\config.dat").c_str(),
                              GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);

    programFolder = new TempFolder;
    MakeFolder(programFolder->Join("system"));

    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string scenarioCommand =
        "\"" + std::string(self) + "\" --file-scenarios \"" + root->path + "\"";
    // The build puts keyconfig.exe in a sibling folder of this program's.
    std::string keyconfig = self;
    keyconfig.resize(keyconfig.rfind('\\'));
    keyconfig += "\\..\\keyconfig\\keyconfig.exe";
    // Both children run at once: each Wine start is slow here.
    std::vector<DebuggeeRun> runs =
        RunWithDebugMonitor({{scenarioCommand, root->path},
                             {"\"" + keyconfig + "\"", programFolder->path}},
                            400000);
    scenarios = runs[0];
    wholeProgram = runs[1];
    CloseHandle(held);
  }

  static void TearDownTestSuite() {
    delete root;
    delete programFolder;
  }

  std::string File(const char *name) {
    return Folder(name) + "\\system\\config.dat";
  }
};

TempFolder *DebuggerLines::root;
DebuggeeRun DebuggerLines::scenarios;
DebuggeeRun DebuggerLines::wholeProgram;
TempFolder *DebuggerLines::programFolder;

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

TEST_F(DebuggerLines, ProgramWithoutItsDialogExitsZeroAndWritesNothing) {
  ASSERT_TRUE(wholeProgram.started);
  ASSERT_TRUE(wholeProgram.exited);
  EXPECT_EQ(wholeProgram.exitCode, 0u);
  EXPECT_EQ(wholeProgram.lines, Lines{kLoadOpenFailed});
  EXPECT_FALSE(Exists(programFolder->Join("system\\config.dat")));
}

}  // namespace
