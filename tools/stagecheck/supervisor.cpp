// stagecheck's parent: starts a worker process for the rules, reads its
// messages, times every call into the plug-in, and writes the report. When
// a worker dies or stops answering, the rule it was in fails with what the
// parent learnt (the crash the worker's filter sent, its exit code, or the
// time limit), and a fresh worker goes on from the next rule. So whatever
// the plug-in does to its process, the run ends with a report and an exit
// code CI can trust.
#include "supervisor.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <algorithm>

#include "check_host.h"
#include "host_text.h"
#include "progress.h"
#include "rules.h"
#include "wide_text.h"
#include "worker.h"
#include "worker_protocol.h"

namespace {

// A worker that has said nothing yet is starting: under an emulator a
// process start takes a minute or more, so only a generous bound applies.
const DWORD kStartLimitMs = 30 * 60 * 1000;

struct Run {
  const char *path;
  FILE *out;
  CheckOptions options;
  CheckReport report;
  std::string pluginName;  // for crash addresses: "stage.dll+0x14C0"
  // What the workers said so far.
  bool knownGiven = false;
  std::vector<std::string> known;
  int rule = -1;     // the rule running, or -1
  int nextRule = 0;  // where the next worker starts
  bool started = false, inCall = false, retired = false, done = false;
  // This plug-in's part of the worker's messages is over ("done" or
  // "error"): what follows is the next plug-in's.
  bool finished = false;
  ULONGLONG ruleSince = 0;  // when the running rule started
  int rulesLeft = 0;        // selected rules without a verdict yet
  std::string callLabel = "LoadLibrary", callCase;
  std::string crash;       // what the worker said as it died: "crashed: ..."
  std::string firstWrite;  // the first write to host memory, and its rule
  std::string firstWriteRule;
  int failed = 0;
};
Run *run;  // the run being supervised

// A worker that goes on to the plug-ins after the one it was started for:
// it outlives one CheckPlugin, so it lives here.
struct Session {
  bool live = false;
  HANDLE pipe = nullptr, process = nullptr, job = nullptr;
  std::string pending;             // received, for the plug-in after this
  std::vector<std::string> queue;  // its plug-ins still to come, in order
};
Session session;

// A line of the report, with the progress line out of its way.
void Say(const char *format, ...) {
  if (!run->out) return;
  ProgressHide();
  va_list arguments;
  va_start(arguments, format);
  vfprintf(run->out, format, arguments);
  va_end(arguments);
  fflush(run->out);
  ProgressShow();
}

double SecondsSince(ULONGLONG since) {
  return since ? double(GetTickCount64() - since) / 1000.0 : 0.0;
}

void ShowRuleProgress() {
  if (run->rule < 0) return;
  ProgressStep(std::string("rule ") + RuleAt(run->rule).name + ", " +
               std::to_string(run->rulesLeft) + " of " +
               std::to_string(run->report.rules.size() + run->rulesLeft) +
               " left");
}

void PrintRule(const RuleOutcome &rule) {
  if (rule.passed && run->options.onlyFailed) return;
  Say("%s  %-18s %s\n", rule.passed ? "PASS" : "FAIL", rule.name, rule.asks);
  if (!rule.detail.empty())
    Say("      %s%s\n", rule.passed ? "" : "saw: ", rule.detail.c_str());
}

void Outcome(int index, bool passed, const std::string &detail) {
  const RuleInfo &info = RuleAt(index);
  RuleOutcome outcome = {info.name, info.asks, passed, detail};
  // A write to host memory fails such a rule wherever it was seen.
  if (info.everyRulesWrites && passed && !run->firstWrite.empty())
    outcome = {info.name, info.asks, false,
               run->firstWriteRule + ": " + run->firstWrite +
                   "; the rule asks that it write nothing the host owns"};
  outcome.seconds = run->rule == index ? SecondsSince(run->ruleSince) : 0;
  if (run->rulesLeft > 0) --run->rulesLeft;
  run->report.rules.push_back(outcome);
  run->failed += !outcome.passed;
  PrintRule(outcome);
  run->rule = -1;
  run->nextRule = index + 1;
}

void Crash(const std::string &text) {
  unsigned long code = 0, address = 0;
  char where[32] = "-";
  sscanf(text.c_str(), "%lx %lx %31s", &code, &address, where);
  char at[96];
  if (strcmp(where, "-"))
    snprintf(at, sizeof at, "%s+0x%lX", run->pluginName.c_str(),
             strtoul(where, nullptr, 16));
  else
    snprintf(at, sizeof at, "0x%08lX (outside the plug-in)", address);
  run->crash = "crashed: " + ExceptionName(code) + " at " + at;
}

// What the parent does with each message (worker_protocol.h).
void OnHello(Run &r, const std::string &) {
  r.started = true;
  if (r.rule < 0) ProgressStep("loading it");
}
void OnError(Run &r, const std::string &text) {
  r.report.exitCode = 2;
  r.report.error = text;
  r.finished = true;
}
void OnKnown(Run &r, const std::string &text) {
  r.knownGiven = true;
  r.known = DecodeNames(text);
}
void OnSummary(Run &r, const std::string &text) {
  r.report.summary = text;
  if (!r.options.onlyFailed) Say("stagecheck: %s: %s\n", r.path, text.c_str());
}
void OnRule(Run &r, const std::string &text) {
  r.rule = atoi(text.c_str());
  r.ruleSince = GetTickCount64();
  ShowRuleProgress();
}
void OnCall(Run &r, const std::string &text) {
  size_t bar = text.find('|');
  r.callLabel = text.substr(0, bar);
  r.callCase = bar == std::string::npos ? "" : text.substr(bar + 1);
  r.inCall = true;
}
void OnBack(Run &r, const std::string &) { r.inCall = false; }
void OnWrote(Run &r, const std::string &text) {
  if (!r.firstWrite.empty()) return;
  r.firstWrite = text;
  r.firstWriteRule = r.rule >= 0 ? RuleAt(r.rule).name : "discovery";
}
void OnTrace(Run &r, const std::string &text) {
  if (r.options.verbose) Say("%s\n", text.c_str());
}
void OnOutcome(Run &, const std::string &text) {
  char verdict[8] = {};
  int index = -1, used = 0;
  sscanf(text.c_str(), "%d %7s %n", &index, verdict, &used);
  if (index >= 0 && index < RuleCount())
    Outcome(index, !strcmp(verdict, "PASS"),
            used ? text.substr(size_t(used)) : "");
}
void OnNote(Run &r, const std::string &text) { r.report.notes.push_back(text); }
void OnCrash(Run &, const std::string &text) { Crash(text); }
void OnDamage(Run &r, const std::string &text) { r.crash = text; }
void OnRetire(Run &r, const std::string &) { r.retired = true; }
void OnDone(Run &r, const std::string &) { r.done = r.finished = true; }

const struct {
  const char *kind;
  void (*handle)(Run &r, const std::string &text);
} handlers[] = {
    {"hello", OnHello},     {"error", OnError},   {"known", OnKnown},
    {"summary", OnSummary}, {"rule", OnRule},     {"call", OnCall},
    {"back", OnBack},       {"wrote", OnWrote},   {"trace", OnTrace},
    {"outcome", OnOutcome}, {"note", OnNote},     {"crash", OnCrash},
    {"damage", OnDamage},   {"retire", OnRetire}, {"done", OnDone},
};

void Receive(const std::string &line) {
  Message m = DecodeMessage(line);
  for (const auto &h : handlers)
    if (m.kind == h.kind) return h.handle(*run, m.text);
}

std::string Quoted(const std::string &text) { return "\"" + text + "\""; }

// What a command line may hold, well below CreateProcessW's 32767: the
// plug-ins that do not fit get a worker of their own later.
const size_t kCommandRoom = 16000;

// The worker's command line, in UTF-8; the plug-ins it is to check go into
// session.queue.
std::string WorkerCommand(HANDLE pipe) {
  std::string program = run->options.workerProgram;
  if (program.empty()) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    program = Utf8(self);
  }
  std::string command = Quoted(program) + " --worker " +
                        std::to_string(uintptr_t(pipe)) + " --from " +
                        std::to_string(run->nextRule);
  if (run->knownGiven) command += " --known " + EncodeNames(run->known);
  if (run->options.verbose) command += " --verbose";
  if (run->options.ruleMask)
    command += " --only " + std::to_string(run->options.ruleMask);
  command += " -- " + Quoted(run->path);
  session.queue.assign(1, run->path);
  for (const std::string &next : run->options.following) {
    if (command.size() + next.size() + 3 > kCommandRoom) break;
    command += " " + Quoted(next);
    session.queue.push_back(next);
  }
  return command;
}

struct WorkerEnd {
  bool startedAtAll = true;
  DWORD startError = 0;  // why not (GetLastError)
  // The pipe failed while the worker still ran: nothing it did is known.
  bool lostPipe = false;
  DWORD pipeError = 0;
  DWORD exitCode = 0;
  bool stopped = false;  // ended by the parent: it did not answer in time
  bool goesOn = false;   // this plug-in is done; the worker goes on
  bool wentOn = false;   // the worker came from the plug-in before
};

// Handles the whole lines received, until this plug-in's part is over;
// what follows stays in session.pending for the next plug-in.
void Take() {
  std::string &pending = session.pending;
  for (size_t end;
       !run->finished && (end = pending.find('\n')) != std::string::npos;) {
    std::string line = pending.substr(0, end);
    pending.erase(0, end + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Receive(line);
  }
}

// A job for one worker and whatever it starts: a debugger that Wine starts
// for an exception it cannot dispatch (it would hold the worker's pipe and
// output open for minutes under an emulator), or a program of the
// plug-in's. All of them end when the worker has ended, or with the parent
// however it ends, since the job is closed with its last handle.
HANDLE WorkerJob() {
  HANDLE job = CreateJobObjectA(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (job)
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits,
                            sizeof limits);
  return job;
}

// Starts a worker writing to `pipe`; false when it cannot be started.
// Whatever the plug-in prints goes to stderr, not into the report. The
// command line goes through the W call, so that a path in any script
// reaches the worker whole whatever the ANSI code page.
bool StartWorker(HANDLE pipe, HANDLE job, HANDLE &process) {
  std::wstring command = Widen(WorkerCommand(pipe));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullptr;
  startup.hStdOutput = startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started;
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED, nullptr, nullptr, &startup, &started))
    return false;
  if (job) AssignProcessToJobObject(job, started.hProcess);
  ResumeThread(started.hThread);
  CloseHandle(started.hThread);
  process = started.hProcess;
  ++run->report.workers;
  run->started = run->inCall = run->retired = false;
  run->crash.clear();
  return true;
}

DWORD CallLimitMs() {
  int seconds = run->options.callLimitSeconds;
  if (seconds <= 0) seconds = int(DefaultCallLimitSeconds());
  return DWORD(seconds) * 1000u;
}

// The pipe failed. Normally the worker has ended (a crash, an exit): it is
// given the call limit to be seen to end, and is judged as usual. One that
// still runs has lost its way back to this process.
void LostPipe(HANDLE process, WorkerEnd &end) {
  DWORD error = GetLastError();
  if (WaitForSingleObject(process, CallLimitMs()) == WAIT_OBJECT_0) return;
  end.lostPipe = true;
  end.pipeError = error;
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
}

// Handles the worker's messages until it ends or this plug-in's part is
// over, or ends it when it has been quiet for longer than it may be: the
// call limit once it is up.
void Listen(HANDLE pipe, HANDLE process, WorkerEnd &end) {
  DWORD quietSince = GetTickCount();
  char buffer[4096];
  Take();
  for (;;) {
    if (run->finished) {
      end.goesOn = true;
      return;
    }
    DWORD available = 0, got = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) ||
        (available && !ReadFile(pipe, buffer, sizeof buffer, &got, nullptr)))
      return LostPipe(process, end);
    if (available) {
      session.pending.append(buffer, got);
      Take();
      quietSince = GetTickCount();
      continue;
    }
    if (WaitForSingleObject(process, 20) == WAIT_OBJECT_0) {
      // What it wrote before it ended; never wait for more, since a
      // process it started may hold the pipe open.
      while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) &&
             available &&
             ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got)
        session.pending.append(buffer, got);
      Take();
      return;
    }
    ProgressTick();
    DWORD limit = run->started ? CallLimitMs() : kStartLimitMs;
    if (GetTickCount() - quietSince > limit) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, INFINITE);
      end.stopped = true;
      return;
    }
  }
}

void EndSession() {
  if (!session.live) return;
  if (session.job) {
    TerminateJobObject(session.job, 1);
    CloseHandle(session.job);
  }
  TerminateProcess(session.process, 1);
  CloseHandle(session.process);
  CloseHandle(session.pipe);
  session = Session();
}

// A worker for this plug-in: the one that went on to it, or a new one.
WorkerEnd RunWorker() {
  WorkerEnd end;
  end.wentOn = session.live;
  if (!session.live) {
    ProgressStep("starting a worker process", true);
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
      end.startedAtAll = false;
      end.startError = GetLastError();
      return end;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    session.job = WorkerJob();
    session.pipe = readEnd;
    session.live = StartWorker(writeEnd, session.job, session.process);
    if (!session.live) {
      end.startedAtAll = false;
      end.startError = GetLastError();
      if (session.job) CloseHandle(session.job);
      CloseHandle(readEnd);
      session = Session();
    }
    CloseHandle(writeEnd);  // the worker holds the only write end now
    if (!end.startedAtAll) return end;
  }
  Listen(session.pipe, session.process, end);
  if (end.goesOn) {
    session.queue.erase(session.queue.begin());
    if (!session.queue.empty()) return end;
  }
  GetExitCodeProcess(session.process, &end.exitCode);
  EndSession();
  return end;
}

std::string ExitCodeText(DWORD code) {
  if (code >= 0xC0000000u) return ExceptionName(code);
  return std::to_string(code);
}

// What became of a worker that ended before its work was done.
std::string WhatHappened(const WorkerEnd &end) {
  const Run &r = *run;
  std::string where = r.callCase.empty() ? "" : r.callCase + ": ";
  int limit = int(CallLimitMs() / 1000);
  if (end.stopped && !r.started)
    return "stagecheck's worker did not start within " +
           std::to_string(kStartLimitMs / 60000) + " minutes";
  if (end.stopped && r.inCall)
    return where + r.callLabel + " did not return within " +
           std::to_string(limit) + " s";
  if (end.stopped)
    return where + "stagecheck's worker stopped answering for " +
           std::to_string(limit) + " s after " + r.callLabel +
           " returned (memory the plug-in damaged?)";
  if (!r.crash.empty())
    return where + (r.inCall ? r.callLabel : "stagecheck") + " " + r.crash;
  return where + "the plug-in ended the process with exit code " +
         ExitCodeText(end.exitCode) +
         (r.inCall ? " during " + r.callLabel
                   : " after " + r.callLabel + " returned");
}

// Moves the next worker's start past the rules not asked for.
void SkipUnselectedRules(Run &r) {
  while (r.nextRule < RuleCount() &&
         !RuleSelected(r.options.ruleMask, r.nextRule))
    ++r.nextRule;
}

// Runs workers until the rules are done; false when the DLL
// is no plug-in (report.exitCode 2).
bool Supervise() {
  Run &r = *run;
  const int count = RuleCount();
  for (;;) {
    WorkerEnd end = RunWorker();
    if (!end.startedAtAll || end.lostPipe) {
      r.report.exitCode = 3;
      r.report.error =
          !end.startedAtAll
              ? "cannot start a worker process (error " +
                    std::to_string(end.startError) + ")"
              : "lost the pipe to the worker while it ran (error " +
                    std::to_string(end.pipeError) + ")";
      return false;
    }
    if (r.report.exitCode == 2) return false;
    if (r.done) return true;
    // A worker that went on from the plug-in before and ended before it
    // began with this one: what ended it is no fault of this plug-in.
    if (r.retired || (end.wentOn && !r.started)) continue;
    std::string happened = WhatHappened(end);
    if (!r.knownGiven) {
      // Still learning what it is: a DLL that ends the process while being
      // loaded is no plug-in to check; one that ends it in discovery is
      // checked with no files known.
      if (r.callLabel == "LoadLibrary" || !r.started) {
        r.report.exitCode = 2;
        r.report.error = "the DLL cannot be loaded: " + happened;
        return false;
      }
      r.knownGiven = true;
      r.report.summary =
          "exports CreateStage; which files it asks for is "
          "not known: " +
          happened;
      if (!r.options.onlyFailed)
        Say("stagecheck: %s: %s\n", r.path, r.report.summary.c_str());
      continue;
    }
    SkipUnselectedRules(r);
    if (r.rule >= 0 || r.nextRule < count) {
      Outcome(r.rule >= 0 ? r.rule : r.nextRule, false, happened);
      SkipUnselectedRules(r);
      // Nothing left for a fresh worker to do.
      if (r.nextRule == count) return true;
      continue;
    }
    // Every rule has its verdict; the worker ended before saying so.
    return true;
  }
}

// In stagecheck's own process a damaged heap leaves nothing to trust: the
// report ends here, saying why, with its own exit code.
void ReceiveInProcess(const std::string &line) {
  Receive(line);
  Message m = DecodeMessage(line);
  if (m.kind != "damage") return;
  ProgressEnd();
  if (run->out) fflush(run->out);
  fprintf(stderr,
          "stagecheck: %s %s in stagecheck's own process (--in-process): "
          "nothing more can be checked; the report is incomplete\n",
          run->callLabel.c_str(), m.text.c_str());
  fflush(stderr);
  TerminateProcess(GetCurrentProcess(), kExitCannotFinish);
}

}  // namespace

std::string ExceptionName(unsigned long code) {
  static const struct {
    unsigned long code;
    const char *name;
  } names[] = {
      {0xC0000005, "access violation"},
      {0xC000001D, "illegal instruction"},
      {0xC0000094, "integer division by zero"},
      {0xC0000095, "integer overflow"},
      {0xC0000096, "privileged instruction"},
      {0xC00000FD, "stack overflow"},
      {0xC0000409, "stack buffer overrun"},
      {0xC0000374, "heap corruption"},
      {0xC0000026, "invalid exception disposition"},
      {0xC0000025, "noncontinuable exception"},
      {0xC000008E, "floating-point division by zero"},
      {0xC0000090, "floating-point invalid operation"},
      {0x80000003, "breakpoint"},
      {0x80000004, "single step"},
  };
  char hex[16];
  snprintf(hex, sizeof hex, "0x%08lX", code);
  for (const auto &n : names) {
    if (n.code != code) continue;
    std::string text = std::string(n.name) + " (" + hex;
    // qemu's user-mode emulator hands every fault to Wine as one it cannot
    // name, which Wine raises as an illegal instruction.
    if (code == 0xC000001D && UnderEmulator())
      text +=
          "; under qemu's user-mode emulator an access violation is "
          "reported so";
    return text + ")";
  }
  return std::string("exception ") + hex;
}

void EndWorkers() { EndSession(); }

CheckReport CheckPlugin(const char *path, FILE *out,
                        const CheckOptions &options) {
  const ULONGLONG since = GetTickCount64();
  Run state;
  state.path = path;
  state.out = out;
  state.options = options;
  state.pluginName = FileNameOf(path);
  for (int i = 0; i < RuleCount(); ++i)
    state.rulesLeft += RuleSelected(options.ruleMask, i);
  run = &state;
  // A worker waiting for another plug-in (or with other options) is not
  // this one's.
  if (session.live && session.queue.front() != path) EndSession();
  bool checked;
  if (options.inProcess) {
    SendMessagesTo(ReceiveInProcess);
    WorkerRequest request;
    request.plugin = path;
    request.verbose = options.verbose;
    request.ruleMask = options.ruleMask;
    RunRules(request);
    checked = state.report.exitCode != 2;
  } else {
    checked = Supervise();
  }
  CheckReport &report = state.report;
  report.seconds = SecondsSince(since);
  if (checked) {
    report.exitCode = state.failed ? 1 : 0;
    for (const std::string &note : report.notes)
      Say("NOTE  %s\n", note.c_str());
    Say("stagecheck: %u rules, %u hold, %d fail%s\n",
        unsigned(report.rules.size()),
        unsigned(report.rules.size()) - unsigned(state.failed), state.failed,
        state.failed == 1 ? "s" : "");
  }
  run = nullptr;
  return report;
}
