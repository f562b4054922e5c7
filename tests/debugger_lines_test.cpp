// The debugger lines of the load/save flow, as the exact bytes that reach
// OutputDebugStringA: a vectored handler sees the exception it raises. The
// flow (load, defaults on failure, save) runs in this process, in prepared
// folders, one after another.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "key_config.h"
#include "keyconfig_test_data.h"
#include "test_files.h"

namespace {

using Lines = std::vector<std::string>;

const char *const kScenarioNames[] = {"no_file", "no_system", "empty",
                                      "short95", "odd96",     "long100",
                                      "held",    "full"};

std::string FullDeviceFolder() {
  const char *folder = getenv("KEYCONFIG_FULL_FOLDER");
  return folder ? folder : "";
}

// The lines of the scenario that runs now.
Lines *linesNow;
LONG CALLBACK RecordLine(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *record = info->ExceptionRecord;
  if (record->ExceptionCode == DBG_PRINTEXCEPTION_C &&
      record->NumberParameters >= 2 && linesNow)
    linesNow->push_back(
        reinterpret_cast<const char *>(record->ExceptionInformation[1]));
  return EXCEPTION_CONTINUE_SEARCH;
}

// The scenario folders live until the suite ends.
TempFolder *scenarioRoot;
std::map<std::string, Lines> linesOf;

std::string Folder(const char *name) { return scenarioRoot->Join(name); }

void PrepareFolders() {
  for (const char *name : kScenarioNames) MakeFolder(Folder(name));
  for (const char *name : kScenarioNames)
    if (std::string(name) != "no_system") MakeFolder(Folder(name) + "\\system");
  WriteBytes(Folder("empty") + "\\system\\config.dat", {});
  WriteBytes(Folder("short95") + "\\system\\config.dat", PatternBytes(95, 3));
  WriteBytes(Folder("odd96") + "\\system\\config.dat", OddRecord());
  WriteBytes(Folder("long100") + "\\system\\config.dat", PatternBytes(100, 9));
  WriteBytes(Folder("held") + "\\system\\config.dat", OddRecord());
}

// The program's entry flow without the dialog, in each folder in turn; the
// "held" folder's file is open with share mode 0 meanwhile.
void RunScenarios() {
  HANDLE held = CreateFileA((Folder("held") + "\\system\\config.dat").c_str(),
                            GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  char before[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, before);
  void *recorder = AddVectoredExceptionHandler(1, RecordLine);
  for (const char *name : kScenarioNames) {
    std::string folder = Folder(name);
    if (std::string(name) == "full") {
      if (FullDeviceFolder().empty()) continue;
      folder = FullDeviceFolder();
    }
    SetCurrentDirectoryA(folder.c_str());
    linesNow = &linesOf[name];
    if (!LoadConfig()) SetDefaultConfig();
    SaveConfig();
    linesNow = nullptr;
  }
  RemoveVectoredExceptionHandler(recorder);
  SetCurrentDirectoryA(before);
  CloseHandle(held);
}

struct DebuggerLines : ::testing::Test {
  static void SetUpTestSuite() {
    scenarioRoot = new TempFolder;
    PrepareFolders();
    RunScenarios();
  }
  static void TearDownTestSuite() {
    delete scenarioRoot;
    scenarioRoot = nullptr;
    linesOf.clear();
  }
  std::string File(const char *name) {
    return Folder(name) + "\\system\\config.dat";
  }
};

Lines LinesOfSection(const char *name) { return linesOf[name]; }

TEST_F(DebuggerLines, MissingFileGivesOpenLineThenDefaultsAreSaved) {
  EXPECT_EQ(LinesOfSection("no_file"), Lines{kLoadOpenFailed});
  EXPECT_EQ(ReadBytes(File("no_file")), kDefaultBytes);
}

TEST_F(DebuggerLines, MissingFolderGivesBothOpenLinesAndCreatesNothing) {
  EXPECT_EQ(LinesOfSection("no_system"),
            (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  EXPECT_FALSE(Exists(Folder("no_system") + "\\system"));
}

TEST_F(DebuggerLines, ShortFilesGiveReadLineAndNoByteSurvives) {
  EXPECT_EQ(LinesOfSection("empty"), Lines{kLoadReadFailed});
  EXPECT_EQ(ReadBytes(File("empty")), kDefaultBytes);
  EXPECT_EQ(LinesOfSection("short95"), Lines{kLoadReadFailed});
  EXPECT_EQ(ReadBytes(File("short95")), kDefaultBytes);
}

TEST_F(DebuggerLines, GoodFilesSendNothing) {
  EXPECT_EQ(LinesOfSection("odd96"), Lines{});
  EXPECT_EQ(ReadBytes(File("odd96")), OddRecord());
  EXPECT_EQ(LinesOfSection("long100"), Lines{});
  EXPECT_EQ(ReadBytes(File("long100")), PatternBytes(100, 9));
}

TEST_F(DebuggerLines, FileHeldOpenElsewhereGivesBothOpenLines) {
  EXPECT_EQ(LinesOfSection("held"), (Lines{kLoadOpenFailed, kSaveOpenFailed}));
  EXPECT_EQ(ReadBytes(File("held")), OddRecord());
}

TEST_F(DebuggerLines, FailedWriteGivesWriteLine) {
  if (FullDeviceFolder().empty())
    GTEST_SKIP() << "KEYCONFIG_FULL_FOLDER not set by the test script";
  // The file there is the full device: reads give zeros, writes fail.
  EXPECT_EQ(LinesOfSection("full"), Lines{kSaveWriteFailed});
}

}  // namespace
