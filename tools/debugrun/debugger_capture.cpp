#include "debugger_capture.h"

#include <string.h>
#include <windows.h>

#include <atomic>
#include <map>
#include <thread>

namespace {

struct MonitorBuffer {
  DWORD processId;
  char text[4096 - sizeof(DWORD)];
};

}  // namespace

std::vector<DebuggeeRun> RunWithDebugMonitor(
    const std::vector<ProgramLaunch> &launches, unsigned timeoutMs) {
  std::vector<DebuggeeRun> runs(launches.size());
  HANDLE bufferReady = CreateEventA(nullptr, FALSE, TRUE, "DBWIN_BUFFER_READY");
  HANDLE dataReady = CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY");
  HANDLE mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                         sizeof(MonitorBuffer), "DBWIN_BUFFER");
  MonitorBuffer *buffer = static_cast<MonitorBuffer *>(
      MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(MonitorBuffer)));

  // Wine's CreateProcess returns only once the child has started, which
  // is slow under an emulator; launch from a thread of its own so that the
  // buffer is served meanwhile (a writer gives up after 10 s). One launcher
  // for all: where 32-bit Wine runs under qemu, creating processes from
  // several threads at once crashed this process (measured).
  std::vector<PROCESS_INFORMATION> processes(launches.size());
  std::vector<HDESK> desktops(launches.size(), nullptr);
  std::atomic<bool> launched(false);
  std::vector<std::thread> drivers;
  std::thread launcher([&] {
    for (size_t i = 0; i < launches.size(); ++i) {
      STARTUPINFOA startup = {};
      startup.cb = sizeof startup;
      std::string desktopName = launches[i].desktop;
      if (!desktopName.empty()) {
        desktops[i] = CreateOwnDesktop(desktopName.c_str());
        if (!desktops[i]) continue;  // not started
        startup.lpDesktop = &desktopName[0];
      }
      std::string command = launches[i].commandLine;
      const std::string &dir = launches[i].workDir;
      runs[i].started =
          buffer &&
          CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                         nullptr, dir.empty() ? nullptr : dir.c_str(), &startup,
                         &processes[i]);
      if (runs[i].started && launches[i].drive) {
        // A thread that owns no window yet may change its desktop.
        drivers.emplace_back([&, i] {
          if (!desktops[i] || SetThreadDesktop(desktops[i]))
            launches[i].drive(processes[i].dwProcessId);
        });
      }
    }
    launched = true;
  });

  std::map<DWORD, std::vector<std::string>> linesByProcess;
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    std::vector<HANDLE> waitFor = {dataReady};
    std::vector<size_t> owner = {0};
    bool allLaunched = launched;
    if (allLaunched) {
      for (size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].started && !runs[i].exited) {
          waitFor.push_back(processes[i].hProcess);
          owner.push_back(i);
        }
      }
    }
    ULONGLONG now = GetTickCount64();
    // After the last exit, take what is still pending, then stop.
    DWORD wait = !allLaunched          ? 100
                 : waitFor.size() == 1 ? 200
                 : now >= deadline     ? 0
                                       : static_cast<DWORD>(deadline - now);
    DWORD result = WaitForMultipleObjects(static_cast<DWORD>(waitFor.size()),
                                          waitFor.data(), FALSE, wait);
    if (result == WAIT_OBJECT_0) {
      linesByProcess[buffer->processId].push_back(std::string(
          buffer->text, strnlen(buffer->text, sizeof buffer->text)));
      SetEvent(bufferReady);
      continue;
    }
    if (result > WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + waitFor.size()) {
      size_t i = owner[result - WAIT_OBJECT_0];
      runs[i].exited = true;
      GetExitCodeProcess(processes[i].hProcess, &runs[i].exitCode);
      continue;
    }
    if (!allLaunched && GetTickCount64() < deadline) continue;
    break;  // timeout, or nothing more pending after the last exit
  }
  launcher.join();
  for (size_t i = 0; i < runs.size(); ++i)
    if (runs[i].started)
      runs[i].lines = linesByProcess[processes[i].dwProcessId];

  for (size_t i = 0; i < runs.size(); ++i)
    if (runs[i].started && !runs[i].exited)
      TerminateProcess(processes[i].hProcess, 255);
  for (std::thread &driver : drivers) driver.join();
  for (size_t i = 0; i < runs.size(); ++i) {
    if (!runs[i].started) continue;
    CloseHandle(processes[i].hThread);
    CloseHandle(processes[i].hProcess);
  }
  for (size_t i = 0; i < runs.size(); ++i)
    if (desktops[i]) CloseOwnDesktop(desktops[i], launches[i].desktop.c_str());
  if (buffer) UnmapViewOfFile(buffer);
  CloseHandle(mapping);
  CloseHandle(dataReady);
  CloseHandle(bufferReady);
  return runs;
}

namespace {
const char kDesktopSizes[] = "Software\\Wine\\Explorer\\Desktops";
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

static HWND FindVisibleWindow(unsigned long processId, const char *className,
                              const char *title) {
  HWND window = NULL;
  while ((window = FindWindowExA(NULL, window, className, title))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == processId && IsWindowVisible(window)) return window;
  }
  return NULL;
}

HWND WaitForProcessWindow(unsigned long processId, const char *className,
                          const char *title, unsigned timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (GetTickCount64() < deadline && ProcessAlive(processId)) {
    if (HWND window = FindVisibleWindow(processId, className, title))
      return window;
    Sleep(50);
  }
  return NULL;
}
