#include "debugger_capture.h"

#include <string.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <thread>

namespace {

// What OutputDebugStringA writes into "DBWIN_BUFFER": the writer's process
// id, then its text, ended by a NUL.
struct MonitorBuffer {
  DWORD processId;
  char text[4096 - sizeof(DWORD)];
};

using LinesByProcess = std::map<DWORD, std::vector<std::string>>;

// The lines collected so far. There is one monitor at a time (the buffer
// and its events are named objects of the session), so one collection;
// drivers read it while the monitor fills it.
std::mutex collectedLock;
LinesByProcess collected;

// The monitor's end of the protocol: the buffer and its two events, held
// for one call. A writer waits for "DBWIN_BUFFER_READY" (set at first),
// fills the buffer and sets "DBWIN_DATA_READY"; the buffer is ours until we
// set the first event again.
class DebugMonitor {
 public:
  DebugMonitor()
      : bufferReady_(CreateEventA(nullptr, FALSE, TRUE, "DBWIN_BUFFER_READY")),
        dataReady_(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
        mapping_(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr,
                                    PAGE_READWRITE, 0, sizeof(MonitorBuffer),
                                    "DBWIN_BUFFER")),
        buffer_(static_cast<MonitorBuffer *>(MapViewOfFile(
            mapping_, FILE_MAP_READ, 0, 0, sizeof(MonitorBuffer)))) {}
  ~DebugMonitor() {
    if (buffer_) UnmapViewOfFile(buffer_);
    CloseHandle(mapping_);
    CloseHandle(dataReady_);
    CloseHandle(bufferReady_);
  }
  DebugMonitor(const DebugMonitor &) = delete;
  DebugMonitor &operator=(const DebugMonitor &) = delete;

  // Without the buffer, nothing is started: its lines would be lost.
  bool Ready() const { return buffer_ != nullptr; }
  // Set when a writer has filled the buffer.
  HANDLE DataReady() const { return dataReady_; }
  // Files the text in the buffer under its writer and frees the buffer for
  // the next one.
  void TakeText() {
    std::string text(buffer_->text,
                     strnlen(buffer_->text, sizeof buffer_->text));
    {
      std::lock_guard<std::mutex> hold(collectedLock);
      collected[buffer_->processId].push_back(std::move(text));
    }
    SetEvent(bufferReady_);
  }

 private:
  HANDLE bufferReady_;
  HANDLE dataReady_;
  HANDLE mapping_;
  MonitorBuffer *buffer_;
};

// The programs of one call. The launcher thread fills in `runs[i].started`,
// `processes` and `desktops` and owns `drivers` until it is joined; the wait
// loop reads `runs` and `processes` only once `launched` is set.
struct Session {
  explicit Session(const std::vector<ProgramLaunch> &all)
      : launches(all),
        runs(all.size()),
        processes(all.size()),
        desktops(all.size(), nullptr) {}
  const std::vector<ProgramLaunch> &launches;
  std::vector<DebuggeeRun> runs;
  std::vector<PROCESS_INFORMATION> processes;
  std::vector<HDESK> desktops;
  std::vector<std::thread> drivers;
  std::atomic<bool> launched{false};
};

// Starts program `i`, on a desktop of its own if it asks for one. Returns
// whether it runs.
bool StartProgram(Session &session, size_t i, bool monitorReady) {
  const ProgramLaunch &launch = session.launches[i];
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  std::string desktopName = launch.desktop;
  if (!desktopName.empty()) {
    session.desktops[i] = CreateOwnDesktop(desktopName.c_str());
    if (!session.desktops[i]) return false;
    startup.lpDesktop = &desktopName[0];
  }
  std::string command = launch.commandLine;
  const std::string &dir = launch.workDir;
  return monitorReady &&
         CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, dir.empty() ? nullptr : dir.c_str(), &startup,
                        &session.processes[i]);
}

// Runs program `i`'s driver on a new thread, moved to the program's desktop
// first: a thread that owns no window yet may change its desktop.
void StartDriver(Session &session, size_t i) {
  session.drivers.emplace_back([&session, i] {
    HDESK desktop = session.desktops[i];
    if (!desktop || SetThreadDesktop(desktop))
      session.launches[i].drive(session.processes[i].dwProcessId);
  });
}

// The launcher thread. Wine's CreateProcess returns only once the child has
// started, which is slow under an emulator; launching from a thread of its
// own lets the caller serve the buffer meanwhile (a writer gives up after
// 10 s). One launcher for all: where 32-bit Wine runs under qemu, creating
// processes from several threads at once crashed this process (measured).
void LaunchAll(Session &session, bool monitorReady) {
  for (size_t i = 0; i < session.launches.size(); ++i) {
    session.runs[i].started = StartProgram(session, i, monitorReady);
    // The error is this thread's: kept for the caller.
    if (!session.runs[i].started) session.runs[i].startError = GetLastError();
    if (session.runs[i].started && session.launches[i].drive)
      StartDriver(session, i);
  }
  session.launched = true;
}

// The handles the wait loop waits on: the monitor's data event first, then,
// once all are launched, every program still running. `owner` gives each
// one's program (its first entry stands for the event).
std::vector<HANDLE> HandlesToWaitFor(const Session &session, HANDLE dataReady,
                                     bool allLaunched,
                                     std::vector<size_t> &owner) {
  std::vector<HANDLE> waitFor = {dataReady};
  owner = {0};
  if (!allLaunched) return waitFor;
  for (size_t i = 0; i < session.runs.size(); ++i) {
    if (session.runs[i].started && !session.runs[i].exited) {
      waitFor.push_back(session.processes[i].hProcess);
      owner.push_back(i);
    }
  }
  return waitFor;
}

// How long one wait may take: short turns while programs are still being
// launched, the rest of the time limit while some run.
DWORD WaitTime(bool allLaunched, bool anyRunning, ULONGLONG deadline) {
  ULONGLONG now = GetTickCount64();
  // After the last exit, take what is still pending, then stop.
  return !allLaunched      ? 100
         : !anyRunning     ? 200
         : now >= deadline ? 0
                           : static_cast<DWORD>(deadline - now);
}

// Serves the buffer and records each exit until every started program has
// ended and no text is pending, or the deadline passes.
void ServeUntilAllExited(Session &session, DebugMonitor &monitor,
                         ULONGLONG deadline) {
  for (;;) {
    std::vector<size_t> owner;
    bool allLaunched = session.launched;
    std::vector<HANDLE> waitFor =
        HandlesToWaitFor(session, monitor.DataReady(), allLaunched, owner);
    DWORD result = WaitForMultipleObjects(
        static_cast<DWORD>(waitFor.size()), waitFor.data(), FALSE,
        WaitTime(allLaunched, waitFor.size() > 1, deadline));
    if (result == WAIT_OBJECT_0) {
      monitor.TakeText();
      continue;
    }
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + waitFor.size()) {
      size_t i = owner[result - WAIT_OBJECT_0];
      session.runs[i].exited = true;
      GetExitCodeProcess(session.processes[i].hProcess,
                         &session.runs[i].exitCode);
      continue;
    }
    if (!allLaunched && GetTickCount64() < deadline) continue;
    break;  // timeout, or nothing more pending after the last exit
  }
}

// Hands each run its lines, ends the programs still running, waits for the
// drivers (which give up once their program has ended), then releases the
// processes' handles and the desktops.
void FinishSession(Session &session) {
  std::vector<DebuggeeRun> &runs = session.runs;
  {
    std::lock_guard<std::mutex> hold(collectedLock);
    for (size_t i = 0; i < runs.size(); ++i)
      if (runs[i].started)
        runs[i].lines = collected[session.processes[i].dwProcessId];
  }
  for (size_t i = 0; i < runs.size(); ++i)
    if (runs[i].started && !runs[i].exited)
      TerminateProcess(session.processes[i].hProcess, 255);
  for (std::thread &driver : session.drivers) driver.join();
  for (size_t i = 0; i < runs.size(); ++i) {
    if (!runs[i].started) continue;
    CloseHandle(session.processes[i].hThread);
    CloseHandle(session.processes[i].hProcess);
  }
  for (size_t i = 0; i < runs.size(); ++i)
    if (session.desktops[i])
      CloseOwnDesktop(session.desktops[i], session.launches[i].desktop.c_str());
  std::lock_guard<std::mutex> hold(collectedLock);
  collected.clear();
}

const char kDesktopSizes[] = "Software\\Wine\\Explorer\\Desktops";

HWND FindVisibleWindow(unsigned long processId, const char *className,
                       const char *title) {
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, className, title))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return NULL;
}

}  // namespace

std::vector<DebuggeeRun> RunWithDebugMonitor(
    const std::vector<ProgramLaunch> &launches, unsigned timeoutMs) {
  DebugMonitor monitor;
  Session session(launches);
  std::thread launcher([&] { LaunchAll(session, monitor.Ready()); });
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  ServeUntilAllExited(session, monitor, deadline);
  launcher.join();
  FinishSession(session);
  return std::move(session.runs);
}

HDESK CreateOwnDesktop(const char *name) {
  HKEY sizes;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopSizes, 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &sizes, nullptr) == 0) {
    static const char size[] = "1024x768";
    RegSetValueExA(sizes, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(size),
                   sizeof size);
    RegCloseKey(sizes);
  }
  return CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

void CloseOwnDesktop(HDESK desktop, const char *name) {
  CloseDesktop(desktop);
  HKEY sizes;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopSizes, 0, KEY_SET_VALUE,
                    &sizes) == 0) {
    RegDeleteValueA(sizes, name);
    RegCloseKey(sizes);
  }
}

bool ProcessAlive(unsigned long processId) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return false;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

void EndProgram(unsigned long processId, unsigned exitCode) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, processId);
  if (!process) return;
  TerminateProcess(process, exitCode);
  CloseHandle(process);
}

bool WaitWhileAlive(unsigned long processId, unsigned timeoutMs,
                    const std::function<bool()> &done) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (!process) return done();
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  bool held;
  // The process's end wakes the wait at once; `done` is asked every 20 ms.
  while (!(held = done()) && GetTickCount64() < deadline &&
         WaitForSingleObject(process, 20) == WAIT_TIMEOUT) {
  }
  CloseHandle(process);
  return held || done();
}

HWND WaitForProcessWindow(unsigned long processId, const char *className,
                          const char *title, unsigned timeoutMs) {
  HWND window = NULL;
  WaitWhileAlive(processId, timeoutMs, [&] {
    return (window = FindVisibleWindow(processId, className, title)) != NULL;
  });
  return window;
}

bool WaitForDebugLine(unsigned long processId, const std::string &line,
                      size_t count, unsigned timeoutMs) {
  auto sent = [&] {
    std::lock_guard<std::mutex> hold(collectedLock);
    const std::vector<std::string> &lines = collected[processId];
    return size_t(std::count(lines.begin(), lines.end(), line)) >= count;
  };
  return WaitWhileAlive(processId, timeoutMs, sent);
}
