// stagecheck's runs over several plug-ins, without a process start: the
// expansion of folders and wildcard patterns, --only-failed, and the
// JUnit file of made-up verdicts whose escaping stagecheck_junit checks
// with a real XML parser (check_junit.py).
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>
#include <vector>

#include "junit_report.h"
#include "plugin_paths.h"
#include "rules.h"
#include "run_table.h"
#include "supervisor.h"
#include "test_files.h"
#include "wide_text.h"

namespace {

void MakeFileW(const std::string &utf8Path) {
  HANDLE file = CreateFileW(Widen(utf8Path).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << utf8Path;
  CloseHandle(file);
}

void MakeFolderW(const std::string &utf8Path) {
  ASSERT_TRUE(CreateDirectoryW(Widen(utf8Path).c_str(), nullptr)) << utf8Path;
}

void RemoveW(const std::string &utf8Path) {
  if (!DeleteFileW(Widen(utf8Path).c_str()))
    RemoveDirectoryW(Widen(utf8Path).c_str());
}

std::vector<std::string> Paths(const std::vector<PluginPath> &expanded) {
  std::vector<std::string> paths;
  for (const PluginPath &p : expanded)
    paths.push_back(p.problem.empty() ? p.path : p.path + " ! " + p.problem);
  return paths;
}

// Folders, patterns and plain files, in a folder whose name no ANSI code
// page holds whole ("é" is not in 932, "日本" not in 1252).
TEST(StagecheckRun, FoldersAndPatternsExpandInNameOrder) {
  TempFolder temp;
  const std::string root = temp.Join("\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC");
  MakeFolderW(root);
  const std::vector<std::string> files = {
      "b.dll",     "A.dll",  "c.DLL",
      "notes.txt", "x.dllx", "\xE3\x82\xBD.dll"};  // "ソ.dll"
  for (const std::string &f : files) MakeFileW(root + "\\" + f);
  MakeFolderW(root + "\\folder.dll");  // a folder is never a plug-in
  MakeFolderW(root + "\\empty");
  MakeFileW(root + "\\empty\\readme.txt");
  const std::string r = root + "\\";
  const std::string sorted[] = {r + "A.dll", r + "b.dll", r + "c.DLL",
                                r + "\xE3\x82\xBD.dll"};
  const struct {
    const char *name;
    std::vector<std::string> arguments;
    std::vector<std::string> expected;
    bool several;
  } cases[] = {
      {"a folder", {root}, {sorted[0], sorted[1], sorted[2], sorted[3]}, true},
      {"a folder with its separator",
       {root + "\\"},
       {sorted[0], sorted[1], sorted[2], sorted[3]},
       true},
      {"a pattern",
       {r + "?.dll"},
       {sorted[0], sorted[1], sorted[2], sorted[3]},
       true},
      {"a pattern matching more than DLLs",
       {r + "*t*"},
       {r + "notes.txt"},
       true},
      {"one file, named as it is", {r + "notes.txt"}, {r + "notes.txt"}, false},
      {"two files, in the order given",
       {r + "b.dll", r + "A.dll"},
       {r + "b.dll", r + "A.dll"},
       true},
      {"a missing file", {r + "none.dll"}, {r + "none.dll ! not found"}, false},
      {"a folder with no DLL",
       {r + "empty"},
       {r + "empty ! a folder with no DLL in it"},
       true},
      {"a pattern that matches nothing",
       {r + "*.exe", r + "A.dll"},
       {r + "*.exe ! no file matches this pattern", r + "A.dll"},
       true},
  };
  for (const auto &c : cases) {
    bool several = !c.several;
    EXPECT_EQ(Paths(ExpandPluginPaths(c.arguments, &several)), c.expected)
        << c.name;
    EXPECT_EQ(several, c.several) << c.name;
  }
  RemoveW(root + "\\empty\\readme.txt");
  for (const char *f : {"empty", "folder.dll"}) RemoveW(r + f);
  for (const std::string &f : files) RemoveW(r + f);
  RemoveW(root);
}

// The report's lines, one string each.
std::vector<std::string> Lines(FILE *file) {
  std::vector<std::string> lines;
  rewind(file);
  char line[4096];
  while (fgets(line, sizeof line, file)) lines.push_back(line);
  return lines;
}

bool Kept(const std::string &line) {
  return line.rfind("FAIL  ", 0) == 0 || line.rfind("      saw: ", 0) == 0 ||
         line.rfind("NOTE  ", 0) == 0 ||
         (line.rfind("stagecheck: ", 0) == 0 &&
          line.find(" rules, ") != std::string::npos);
}

// --only-failed: the full report's FAIL lines with what they saw, its
// notes and its summary line, and nothing else.
TEST(StagecheckRun, OnlyFailedKeepsTheFailuresNotesAndSummary) {
  for (const char *plugin : {"broken\\draw-param.dll", "stage.dll"}) {
    SCOPED_TRACE(plugin);
    CheckOptions options;
    options.inProcess = true;
    FILE *full = tmpfile(), *failed = tmpfile();
    ASSERT_TRUE(full && failed);
    CheckPlugin(plugin, full, options);
    options.onlyFailed = true;
    CheckPlugin(plugin, failed, options);
    std::vector<std::string> expected;
    for (const std::string &line : Lines(full))
      if (Kept(line)) expected.push_back(line);
    EXPECT_EQ(Lines(failed), expected);
    EXPECT_NE(Lines(full).size(), expected.size());  // some lines went
    fclose(full);
    fclose(failed);
  }
}

// The run's exit code: 3 before 1 before 2 before 0.
TEST(StagecheckRun, TheRunsExitCodeTakesTheFirstThatApplies) {
  auto runs = [](std::vector<int> codes) {
    std::vector<PluginRun> list;
    for (int code : codes) {
      PluginRun run;
      run.path = "x.dll";
      if (code == -2)
        run.problem = "not found";  // a path stagecheck found nothing at
      else
        run.report.exitCode = code;
      list.push_back(run);
    }
    return list;
  };
  const struct {
    std::vector<int> codes;
    int expected;
  } cases[] = {
      {{0, 0}, 0},     {{0, 2}, 2}, {{0, -2}, 2}, {{2, 1, 0}, 1},
      {{1, -2, 3}, 3}, {{3, 0}, 3}, {{}, 2},      {{1, 1}, 1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(RunExitCode(runs(c.codes)), c.expected)
        << testing::PrintToString(c.codes);
}

// Made-up verdicts with markup characters, quotes, text in Japanese and
// bytes that are no UTF-8, written as stagecheck writes its JUnit file;
// check_junit.py parses it and compares the texts with what is written
// beside it.
TEST(StagecheckRun, JunitTextsAreEscaped) {
  const char *folder = getenv("STAGECHECK_REPORTS");
  ASSERT_NE(folder, nullptr) << "STAGECHECK_REPORTS, set by CTest";
  const std::string detail =
      "saw <draw> & \"quoted\" 'single' ]]> \xE3\x82\xB9\xE3\x83\x86\xE3\x83"
      "\xBC\xE3\x82\xB8 \xC3\xA9\n\tsecond line \x82\xA0 \x01 end";
  // As XML holds it: the CP932 bytes and the control character as \xNN.
  const std::string read =
      "saw <draw> & \"quoted\" 'single' ]]> \xE3\x82\xB9\xE3\x83\x86\xE3\x83"
      "\xBC\xE3\x82\xB8 \xC3\xA9\n\tsecond line \\x82\\xA0 \\x01 end";
  std::vector<PluginRun> runs(3);
  runs[0].path =
      "C:\\stages\\\xE3\x82\xB9\xE3\x83\x86\xE3\x83\xBC\xE3\x82\xB8"
      "\xC3\xA9 & <co>.dll";
  runs[0].report.exitCode = 1;
  runs[0].report.summary = "exports CreateStage & <nothing>";
  runs[0].report.notes = {"a note <with> & \"marks\""};
  runs[0].report.rules.push_back(
      {RuleAt(0).name, RuleAt(0).asks, false, detail, 0.25});
  runs[0].report.rules.push_back(
      {RuleAt(2).name, RuleAt(2).asks, true, "held <well>", 0.5});
  runs[1].path = "gone.dll";
  runs[1].problem = "not found <here> & \"there\"";
  runs[2].path = "half.dll";
  runs[2].report.exitCode = 3;
  runs[2].report.error = "lost the pipe";
  runs[2].report.rules.push_back(
      {RuleAt(0).name, RuleAt(0).asks, true, "", 0.1});
  // Rules 0 and 2 were asked for: the others are skipped.
  const std::string xml = JunitXml(runs, 1ul | 1ul << 2);
  const std::string base = std::string(folder) + "\\escaping";
  std::string error;
  ASSERT_TRUE(WriteReportFile(base + ".xml", xml, error)) << error;
  WriteBytes(base + ".expected", Bytes(read.begin(), read.end()));
  EXPECT_FALSE(Exists(base + ".xml.part"));
  // A report that cannot be written says why and leaves nothing behind.
  EXPECT_FALSE(WriteReportFile(base + "-no-such-folder\\x.xml", xml, error));
  EXPECT_NE(error.find("x.xml.part"), std::string::npos) << error;
}

}  // namespace
