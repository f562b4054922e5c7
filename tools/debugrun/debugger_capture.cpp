#include "debugger_capture.h"

#include <stdio.h>
#include <windows.h>

DebuggeeRun RunUnderDebugger(const std::string &commandLine,
                             const std::string &workDir, unsigned timeoutMs) {
  DebuggeeRun run;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::string mutableCommand = commandLine;
  if (!CreateProcessA(nullptr, &mutableCommand[0], nullptr, nullptr, FALSE,
                      DEBUG_ONLY_THIS_PROCESS, nullptr,
                      workDir.empty() ? nullptr : workDir.c_str(), &startup,
                      &process))
    return run;
  run.started = true;

  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) break;
    DEBUG_EVENT event = {};
    if (!WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) break;
    DWORD continueStatus = DBG_CONTINUE;
    std::string seen = std::to_string(event.dwDebugEventCode);
    if (event.dwDebugEventCode == EXCEPTION_DEBUG_EVENT) {
      char code[16];
      snprintf(code, sizeof code, "/%08lX",
               event.u.Exception.ExceptionRecord.ExceptionCode);
      seen += code;
    }
    run.events.push_back(seen);
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile)
          CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case EXCEPTION_DEBUG_EVENT:
        if (event.u.Exception.ExceptionRecord.ExceptionCode !=
            EXCEPTION_BREAKPOINT)
          continueStatus = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO &info = event.u.DebugString;
        std::string text(info.nDebugStringLength, '\0');
        SIZE_T got = 0;
        ReadProcessMemory(process.hProcess, info.lpDebugStringData, &text[0],
                          text.size(), &got);
        text.resize(got);
        // The length counts the terminating NUL.
        if (!text.empty() && text.back() == '\0') text.pop_back();
        run.lines.push_back(text);
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        run.exited = true;
        run.exitCode = event.u.ExitProcess.dwExitCode;
        break;
      default:
        break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
    if (run.exited) break;
  }
  if (!run.exited) TerminateProcess(process.hProcess, 255);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return run;
}

std::vector<std::string> LinesOfSection(const DebuggeeRun &run,
                                        const std::string &name) {
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string &line : run.lines) {
    if (line.rfind("@begin ", 0) == 0) {
      inside = line == "@begin " + name + "\n";
      continue;
    }
    if (inside) section.push_back(line);
  }
  return section;
}
