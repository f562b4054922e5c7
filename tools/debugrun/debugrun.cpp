// debugrun: runs a Windows program and prints what it sends
// to the debugger output, one line each, converted from the ANSI code page
// to UTF-8 so that a Linux terminal shows the Japanese texts. Ends with the
// program's exit code, which it also returns.
// Usage: debugrun.exe "command line" [working folder]
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

#include <string>

#include "debugger_capture.h"

static std::string AnsiToUtf8(const std::string &text) {
  int wide =
      MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring buffer(wide, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &buffer[0],
                      wide);
  int size = WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0,
                                 nullptr, nullptr);
  std::string utf8(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, &utf8[0], size, nullptr,
                      nullptr);
  return utf8;
}

int main(int argc, char **argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: debugrun \"command line\" [working folder]\n");
    return 2;
  }
  DebuggeeRun run =
      RunWithDebugMonitor({{argv[1], argc == 3 ? argv[2] : ""}}, 600000)[0];
  if (!run.started) {
    fprintf(stderr, "debugrun: cannot start %s (error %lu)\n", argv[1],
            GetLastError());
    return 2;
  }
  for (const std::string &line : run.lines) {
    std::string shown = AnsiToUtf8(line);
    if (!shown.empty() && shown.back() == '\n') shown.pop_back();
    printf("debugger output: %s\n", shown.c_str());
  }
  if (!run.exited) {
    printf("exit: none (timed out, terminated)\n");
    return 2;
  }
  printf("exit code: %lu\n", run.exitCode);
  return static_cast<int>(run.exitCode);
}
