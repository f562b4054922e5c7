// stagecheck against our plug-ins and plug-ins broken on purpose
// (plugins/broken/RULE.cpp): ours hold every rule, each broken one fails
// its own rule and no other. Plug-ins that keep their process alive are
// checked in this process (--in-process; a process start costs a minute
// on a machine that emulates 32-bit code); those that crash it go through
// worker processes, and one plug-in that ends, crashes, hangs and damages
// its process rule after rule goes through the built stagecheck.exe.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <map>
#include <regex>
#include <set>
#include <string>

#include "call_checks.h"
#include "plain_failure_printer.h"
#include "rules.h"
#include "supervisor.h"
#include "test_files.h"
#include "test_pace.h"
#include "wide_text.h"
#include "worker_protocol.h"

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

CheckOptions InProcess() {
  CheckOptions options;
  options.inProcess = true;
  return options;
}

CheckOptions InWorkers() {
  CheckOptions options;
  options.workerProgram = "stagecheck.exe";
  return options;
}

// The SDK's example plug-in copied to a new name and built as C by the
// suite both ways its README gives. (stage.dll and tessel.dll are held to
// every rule in the folder run below.)
TEST(Stagecheck, TheExamplePluginHoldsEveryRule) {
  const char *example = getenv("EXAMPLE_PLUGIN");
  const char *exampleByCmake = getenv("EXAMPLE_CMAKE_PLUGIN");
  ASSERT_NE(example, nullptr) << "EXAMPLE_PLUGIN, set by CTest";
  ASSERT_NE(exampleByCmake, nullptr) << "EXAMPLE_CMAKE_PLUGIN, set by CTest";
  for (const char *plugin : {example, exampleByCmake}) {
    CheckReport report = CheckPlugin(plugin, nullptr, InProcess());
    EXPECT_EQ(report.exitCode, 0) << plugin << Details(report);
    EXPECT_EQ(report.rules.size(), size_t(RuleCount()));
    EXPECT_EQ(Failed(report), std::set<std::string>{}) << plugin;
    // A note is printed only when the author has something to do.
    EXPECT_EQ(report.notes, std::vector<std::string>{}) << plugin;
  }
}

// These two fault by design (a write past the end of the image, a
// division by zero) in their own rule's scenario: that rule runs alone in
// a worker (which it ends), the others here. A process start costs a
// minute where 32-bit code is emulated; the misbehaving plug-in below has
// fresh workers go on after each fault.
const std::set<std::string> kFaulting = {"long-directories",
                                         "odd-surface-sizes"};

// Where a failure says what to change, the words that say it.
const std::map<std::string, std::string> kSaysWhatToDo = {
    {"frame-repeatable", "keep state only from load"},
    {"exports", "StageInfo took 4 bytes of arguments off the stack"},
};

TEST(Stagecheck, EachBrokenPluginFailsItsOwnRuleAlone) {
  const unsigned long every = (1ul << RuleCount()) - 1;
  for (int i = 0; i < RuleCount(); ++i) {
    std::string rule = RuleAt(i).name;
    SCOPED_TRACE(rule);
    std::string path = "broken\\" + rule + ".dll";
    if (!kFaulting.count(rule)) {
      CheckReport report = CheckPlugin(path.c_str(), nullptr, InProcess());
      EXPECT_EQ(report.exitCode, 1) << Details(report);
      EXPECT_EQ(Failed(report), std::set<std::string>{rule}) << Details(report);
      EXPECT_EQ(report.rules.size(), size_t(RuleCount()));
      if (kSaysWhatToDo.count(rule)) {
        EXPECT_NE(Details(report).find(kSaysWhatToDo.at(rule)),
                  std::string::npos)
            << Details(report);
      }
      continue;
    }
    CheckOptions others = InProcess();
    others.ruleMask = every & ~(1ul << i);
    CheckReport rest = CheckPlugin(path.c_str(), nullptr, others);
    EXPECT_EQ(rest.exitCode, 0) << Details(rest);
    EXPECT_EQ(rest.rules.size(), size_t(RuleCount() - 1));
    CheckOptions alone = InWorkers();
    alone.ruleMask = 1ul << i;
    CheckReport report = CheckPlugin(path.c_str(), nullptr, alone);
    EXPECT_EQ(report.exitCode, 1) << Details(report);
    EXPECT_EQ(Failed(report), std::set<std::string>{rule}) << Details(report);
    EXPECT_EQ(report.rules.size(), 1u);
    // The worker that ran it, and none after the fault: nothing is left.
    EXPECT_EQ(report.workers, 1) << Details(report);
    // An access violation, named as what it is, or as the emulator
    // delivers it.
    if (rule == "long-directories") {
      const char *named =
          TestPace() > 1
              ? "load crashed: illegal instruction (0xC000001D; under qemu's "
                "user-mode emulator an access violation is reported so)"
              : "load crashed: access violation (0xC0000005)";
      EXPECT_NE(Details(report).find(named), std::string::npos)
          << Details(report);
    }
  }
}

// The rules asked for, and only those, in the table's order.
TEST(Stagecheck, ASelectionRunsOnlyTheRulesAskedFor) {
  CheckOptions options = InProcess();
  const int first = RuleIndex("draw-param"), last = RuleIndex("host-memory");
  ASSERT_GE(first, 0);
  ASSERT_GE(last, 0);
  options.ruleMask = 1ul << first | 1ul << last;
  CheckReport report = CheckPlugin("broken\\host-memory.dll", nullptr, options);
  ASSERT_EQ(report.rules.size(), 2u) << Details(report);
  EXPECT_STREQ(report.rules[0].name, "draw-param");
  EXPECT_STREQ(report.rules[1].name, "host-memory");
  EXPECT_EQ(Failed(report), std::set<std::string>{"host-memory"});
  EXPECT_EQ(RuleIndex("no-such-rule"), -1);
}

TEST(Stagecheck, HostMemoryWritesAreNamed) {
  CheckReport report =
      CheckPlugin("broken\\host-memory.dll", nullptr, InProcess());
  ASSERT_EQ(report.rules.size(), size_t(RuleCount()));
  EXPECT_NE(report.rules.back().detail.find(
                "draw wrote Surface back1.bmp at offset 280 (width)"),
            std::string::npos)
      << report.rules.back().detail;
}

TEST(Stagecheck, NoPluginIsExitCodeTwo) {
  CheckReport missing = CheckPlugin("nothing.dll", nullptr, InProcess());
  EXPECT_EQ(missing.exitCode, 2);
  EXPECT_NE(missing.error.find("cannot load"), std::string::npos);
  CheckReport notPlugin = CheckPlugin("kernel32.dll", nullptr, InProcess());
  EXPECT_EQ(notPlugin.exitCode, 2);
  EXPECT_NE(notPlugin.error.find("exports no CreateStage"), std::string::npos);
  // Exported only under its __stdcall name, which no host looks up.
  CheckReport decorated =
      CheckPlugin("broken\\decorated_plugin.dll", nullptr, InProcess());
  EXPECT_EQ(decorated.exitCode, 2);
  EXPECT_NE(decorated.error.find("it exports CreateStage only as "
                                 "\"CreateStage@4\""),
            std::string::npos)
      << decorated.error;
}

// The files a plug-in asked for reach the next worker on its command line
// whatever they hold: quotes, separators, spaces, nothing at all.
TEST(Stagecheck, FileNamesSurviveTheWorkersCommandLine) {
  const std::vector<std::vector<std::string>> lists = {
      {}, {""}, {"back1.bmp"}, {"a\" b.bmp", "c|d,e", "\xFF\x01 x"}};
  for (const auto &names : lists) {
    std::string word = EncodeNames(names);
    EXPECT_EQ(word.find_first_of("\" |\t\n"), std::string::npos) << word;
    EXPECT_EQ(DecodeNames(word), names) << word;
  }
}

// Exports a host looking up plain names would miss, and how a convention
// other than plain C shows.
TEST(Stagecheck, DecoratedExportsAreNamed) {
  const struct {
    std::vector<std::string> names;
    const char *missed;  // the export named in the text; "" for none
  } cases[] = {
      {{"CreateStage", "StageInfo"}, ""},
      {{"CharacterInfo", "CreateStage"}, ""},
      {{}, ""},
      // Decorated beside the plain name: the host finds the plain one.
      {{"CreateStage", "CreateStage@4", "StageInfo", "StageInfo@4"}, ""},
      {{"CreateStage", "CharacterInfo", "_StageInfo@4"}, ""},
      {{"_CreateStage@4", "_StageInfo@4"}, "\"_CreateStage@4\""},
      {{"CreateStage", "StageInfo@4"}, "\"StageInfo@4\""},
      {{"CreateStage", "_CharacterInfo"}, "\"_CharacterInfo\""},
      {{"@CreateStage@4"}, "\"@CreateStage@4\""},
      {{"?CreateStage@@YAHPAUStageObject@@@Z"}, "CreateStage only as"},
      {{"_Z11CreateStageP11StageObject"}, "CreateStage only as"},
      // Names that only look alike.
      {{"CreateStages", "_CreateStage2", "CreateStage@x", "_Z", "_Z99Create",
        "?"},
       ""},
  };
  for (const auto &c : cases) {
    std::string text = DecoratedExport(c.names);
    std::string label = c.names.empty() ? "none" : c.names[0];
    if (!*c.missed)
      EXPECT_EQ(text, "") << label;
    else
      EXPECT_NE(text.find(c.missed), std::string::npos)
          << label << ": " << text;
  }
  EXPECT_EQ(StackRemoved("CreateStage", 0), "");
  EXPECT_NE(StackRemoved("CreateStage", 4).find("off by 4 bytes"),
            std::string::npos);
}

ServiceCall GetPathCall(int32_t kind) {
  ServiceCall call = {};
  call.service = Service::GetPath;
  call.number = kind;
  return call;
}
ServiceCall LoadCall(const char *path, int32_t mode = 0) {
  ServiceCall call = {};
  call.service = Service::LoadSurface;
  call.path = path;
  call.number = mode;
  return call;
}
ServiceCall DrawCall(float z) {
  ServiceCall call = {};
  call.service = Service::DrawSurface;
  call.surfaceName = "back1.bmp";
  call.quad.z = z;
  return call;
}

// What load-paths makes of the calls of one load in C:\d: the first
// thing wrong, or nothing.
TEST(Stagecheck, LoadCallsAreHeldToTheirRule) {
  const ServiceCall path = GetPathCall(2);
  const struct {
    const char *name;
    std::vector<ServiceCall> calls;
    bool asksForFiles;
    const char *wrong;  // part of the text; "" for no fault
  } cases[] = {
      {"a path then a file", {path, LoadCall("C:\\d\\back1.bmp")}, true, ""},
      {"no file asked for by a plug-in that asks for none", {path}, false, ""},
      {"no GetPath", {}, false, "load never called GetPath(2)"},
      {"GetPath(1)", {GetPathCall(1)}, false, "asks for kind 2 only"},
      {"a file before the path",
       {LoadCall("C:\\d\\back1.bmp"), path},
       true,
       "before any GetPath(2)"},
      {"two backslashes",
       {path, LoadCall("C:\\d\\\\back1.bmp")},
       true,
       "one backslash and a file name"},
      {"another directory",
       {path, LoadCall("C:\\e\\back1.bmp")},
       true,
       "one backslash and a file name"},
      {"the directory alone",
       {path, LoadCall("C:\\d\\")},
       true,
       "one backslash and a file name"},
      {"mode 1",
       {path, LoadCall("C:\\d\\back1.bmp", 1)},
       true,
       "0 as second argument"},
      {"a draw in load",
       {path, DrawCall(0)},
       true,
       "GetPath and LoadSurface only"},
      {"no file asked for", {path}, true, "load asked for no bitmap"},
  };
  for (const auto &c : cases) {
    std::string wrong = LoadCallsWrong(c.calls, "C:\\d", "L", c.asksForFiles);
    if (!*c.wrong)
      EXPECT_EQ(wrong, "") << c.name;
    else
      EXPECT_NE(wrong.find(c.wrong), std::string::npos)
          << c.name << ": " << wrong;
  }
}

// Frames compare call by call, floats by their bits.
TEST(Stagecheck, FramesDifferByTheirFirstUnequalCall) {
  const struct {
    const char *name;
    std::vector<ServiceCall> a, b;
    const char *difference;  // the start of it; "" for none
  } cases[] = {
      {"the same", {DrawCall(1)}, {DrawCall(1)}, ""},
      {"none", {}, {}, ""},
      {"a sign of zero", {DrawCall(0.0f)}, {DrawCall(-0.0f)}, "call 1 was"},
      {"the second call",
       {DrawCall(1), DrawCall(1)},
       {DrawCall(1), DrawCall(2)},
       "call 2 was"},
      {"one call fewer",
       {DrawCall(1), DrawCall(1)},
       {DrawCall(1)},
       "2 calls and then 1"},
  };
  for (const auto &c : cases) {
    std::string difference = Difference(c.a, c.b);
    EXPECT_EQ(difference.substr(0, strlen(c.difference)), c.difference)
        << c.name << ": " << difference;
    EXPECT_EQ(difference.empty(), !*c.difference) << c.name;
  }
}

// The verdict of a rule in stagecheck's output and the line under it.
std::string RuleReport(const std::string &output, const std::string &rule) {
  std::regex line("(PASS|FAIL)  " + rule + " [^\n]*\n(      [^\n]*\n)?");
  std::smatch found;
  return std::regex_search(output, found, line) ? found.str() : "";
}

// The part of a run's output under the header "=== N of M: ...FILE".
std::string Section(const std::string &output, const std::string &file) {
  std::smatch found;
  if (!std::regex_search(output, found,
                         std::regex("=== [0-9]+ of [0-9]+: [^\n]*\\\\" + file +
                                    "\n([\\s\\S]*?)(\n=== |$)")))
    return "";
  return found[1].str();
}

// The closing table's row of a file: held, failed, verdict.
std::string Row(const std::string &table, const std::string &file) {
  std::smatch found;
  if (!std::regex_search(table, found,
                         std::regex("\n[^\n]*\\\\" + file + " +([^\n]*)")))
    return "";
  return std::regex_replace(found[1].str(), std::regex(" +"), " ");
}

void SaveText(const std::string &path, const std::string &text) {
  WriteBytes(path, Bytes(text.begin(), text.end()));
}

// One run over a folder: our two plug-ins, two broken ones, a text file
// named .dll, a 64-bit DLL, and a plug-in that ends or breaks its process
// in four rules (the folder copied to a name no ANSI code page holds
// whole). Whatever a plug-in does to its process, each rule it breaks
// fails with what happened, the rules between pass in fresh workers, the
// worker goes on to the next DLL, and the run ends with the table, its
// summary and exit code 1. The output and JUnit file are left for
// stagecheck_junit.
TEST(Stagecheck, AFolderOfPluginsIsCheckedInOneRun) {
  const char *reports = getenv("STAGECHECK_REPORTS");
  ASSERT_NE(reports, nullptr) << "STAGECHECK_REPORTS, set by CTest";
  const std::string folder = "pack-\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC";
  CreateDirectoryW(Widen(folder).c_str(), nullptr);
  const char *files[] = {"draw-param.dll", "misbehaving_plugin.dll",
                         "notes.dll",      "release-once.dll",
                         "stage.dll",      "tessel.dll",
                         "win64.dll"};
  for (const char *file : files)
    ASSERT_TRUE(CopyFileW(Widen(std::string("pack\\") + file).c_str(),
                          Widen(folder + "\\" + file).c_str(), FALSE))
        << file;
  const std::string junit = std::string(reports) + "\\pack.xml";
  DeleteFileA(junit.c_str());
  // The hang is given up on after this; legitimate calls take far less.
  const std::string limit = std::to_string(Paced(5000) / 1000);
  std::string output;
  EXPECT_EQ(RunProgram("stagecheck.exe --call-limit " + limit + " --junit \"" +
                           junit + "\" " + folder,
                       &output),
            1);
  SaveText(std::string(reports) + "\\pack.txt", output);
  // Under qemu's user-mode emulator a stack overflow ends the process
  // before it can say so.
  const struct {
    const char *rule;
    std::string report;
  } expected[] = {
      {"exports", "PASS"},
      {"info-export", "PASS"},
      {"create-stage", "PASS"},
      {"load-paths", "PASS"},
      {"draw-before-load",
       "FAIL[\\s\\S]*saw: .*the plug-in ended the process with exit code 0 "
       "during draw"},
      {"draw-surfaces", "PASS"},
      {"draw-param", "PASS"},
      {"host-afresh", "PASS"},
      {"frame-repeatable", "PASS"},
      {"x87-precision",
       "FAIL[\\s\\S]*saw: .*draw did not return within " + limit + " s"},
      {"release-once", "PASS"},
      {"second-record",
       "FAIL[\\s\\S]*saw: .*CreateStage (damaged the heap: HeapValidate fails|"
       "crashed: .* \\(outside the plug-in\\))"},
      {"long-directories",
       "FAIL[\\s\\S]*saw: .*a directory of 4000 characters: (load crashed: "
       "stack overflow|the plug-in ended the process with exit code .* "
       "during load)"},
      {"odd-surface-sizes", "PASS"},
      {"host-memory",
       "FAIL[\\s\\S]*saw: .*load wrote HostServices table A at offset 0 "
       "\\(slot 0, "
       "reserved\\)"},
  };
  const std::string misbehaving = Section(output, "misbehaving_plugin.dll");
  for (const auto &e : expected) {
    SCOPED_TRACE(e.rule);
    std::string report = RuleReport(misbehaving, e.rule);
    EXPECT_TRUE(std::regex_search(report, std::regex(e.report))) << output;
  }
  EXPECT_NE(misbehaving.find("stagecheck: 15 rules, 10 hold, 5 fail\n"),
            std::string::npos)
      << output;
  // Each DLL's report under its header, as a run on it alone gives it.
  for (const char *file : {"stage.dll", "tessel.dll"}) {
    const std::string section = Section(output, file);
    EXPECT_NE(section.find("stagecheck: 15 rules, 15 hold, 0 fail\n"),
              std::string::npos)
        << file << "\n"
        << output;
  }
  for (const char *file : {"draw-param.dll", "release-once.dll"}) {
    std::string rule = std::string(file).substr(0, strlen(file) - 4);
    EXPECT_EQ(RuleReport(Section(output, file), rule).substr(0, 4), "FAIL")
        << file << "\n"
        << output;
  }
  size_t at = output.find("\n=== the run\n");
  ASSERT_NE(at, std::string::npos) << output;
  const std::string table = output.substr(at);
  EXPECT_EQ(Row(table, "stage.dll"), "15 0 holds") << table;
  EXPECT_EQ(Row(table, "tessel.dll"), "15 0 holds") << table;
  EXPECT_EQ(Row(table, "draw-param.dll"), "14 1 fails") << table;
  EXPECT_EQ(Row(table, "release-once.dll"), "14 1 fails") << table;
  EXPECT_EQ(Row(table, "misbehaving_plugin.dll"), "10 5 fails") << table;
  // The loader's reason, as stderr gave it, in the row.
  for (const char *file : {"notes.dll", "win64.dll"}) {
    std::smatch reason;
    std::string row = Row(table, file);
    EXPECT_TRUE(
        std::regex_match(row, reason, std::regex("- - no plug-in: (.*[^ ].*)")))
        << file << ": " << row;
    EXPECT_NE(output.find("stagecheck: " + reason[1].str() + "\n"),
              std::string::npos)
        << file << ": " << reason[1].str();
  }
  // One worker, and one more after each of the four faults that end it.
  EXPECT_NE(table.find("\nstagecheck: 7 paths: 2 hold, 3 fail, 2 no plug-in; "
                       "5 worker processes\n"),
            std::string::npos)
      << table;
  // stderr is no console here: no progress line.
  EXPECT_EQ(output.find(" of 15 left"), std::string::npos) << output;
  EXPECT_TRUE(Exists(junit));
  EXPECT_FALSE(Exists(junit + ".part"));
}

// In stagecheck's own process (--in-process) a damaged heap ends the run:
// with what happened on stderr and exit code 3, never a bare 1.
TEST(Stagecheck, AnUnfinishedReportSaysWhyWithItsOwnExitCode) {
  std::string output;
  EXPECT_EQ(RunProgram("stagecheck.exe --in-process --rule second-record "
                       "broken\\misbehaving_plugin.dll",
                       &output),
            3);
  EXPECT_NE(output.find("stagecheck: CreateStage damaged the heap: "
                        "HeapValidate fails after it returned in stagecheck's "
                        "own process (--in-process): nothing more can be "
                        "checked; the report is incomplete\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(output.find("FAIL"), std::string::npos) << output;
}

}  // namespace

// A plug-in that scribbled over its own image is left loaded and never
// run again; the process ends without unloading it.
int main(int argc, char **argv) {
  testing::InitGoogleTest(&argc, argv);
  PrintFailuresWithoutDebuggerOutput();
  int result = RUN_ALL_TESTS();
  fflush(stdout);
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), UINT(result));
  return result;
}
