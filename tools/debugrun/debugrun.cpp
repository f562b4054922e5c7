// debugrun: runs a Windows program and prints what it sends
// to the debugger output, one line each, converted from the ANSI code page
// to UTF-8 so that a Linux terminal shows the Japanese texts. Ends with the
// program's exit code, which it also returns.
//
// Usage: debugrun.exe [--handshake FOLDER] "command line" [working folder]
//
// With --handshake (for keyconfig.exe, where no one sits at the screen):
// once the dialog "KEY CONFIG" is visible, debugrun prints how long that
// took and creates FOLDER\visible holding the dialog's screen rectangle as
// "x y width height"; when FOLDER\close appears it presses the dialog's
// "だめ" button. A script takes its screenshot in between.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>

#include "debugger_capture.h"
#include "machine_pace.h"

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

static void Handshake(const std::string &folder, ULONGLONG started,
                      DWORD processId) {
  HWND dialog =
      WaitForProcessWindow(processId, "#32770", "KEY CONFIG", Paced(300000));
  if (!dialog) return;
  printf("debugrun: dialog visible %.1f s after launch\n",
         (GetTickCount64() - started) / 1000.0);
  fflush(stdout);
  // Painted before anyone looks: the dialog and its controls handle their
  // pending WM_PAINT before this returns.
  RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  RECT rect;
  GetWindowRect(dialog, &rect);
  char where[64];
  int length =
      snprintf(where, sizeof where, "%ld %ld %ld %ld\n", rect.left, rect.top,
               rect.right - rect.left, rect.bottom - rect.top);
  // Written under another name first so that the script never reads half.
  std::string partial = folder + "\\visible.part";
  HANDLE file = CreateFileA(partial.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written;
  WriteFile(file, where, length, &written, nullptr);
  CloseHandle(file);
  MoveFileA(partial.c_str(), (folder + "\\visible").c_str());
  std::string close = folder + "\\close";
  WaitWhileAlive(processId, Paced(900000), [&] {
    return GetFileAttributesA(close.c_str()) != INVALID_FILE_ATTRIBUTES;
  });
  DWORD_PTR result;
  SendMessageTimeoutA(GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0,
                      SMTO_ABORTIFHUNG, Paced(20000), &result);
}

int main(int argc, char **argv) {
  std::string handshake;
  if (argc >= 3 && strcmp(argv[1], "--handshake") == 0) {
    handshake = argv[2];
    argv += 2, argc -= 2;
  }
  if (argc < 2 || argc > 3) {
    fprintf(stderr,
            "usage: debugrun [--handshake FOLDER] \"command line\" "
            "[working folder]\n");
    return 2;
  }
  ProgramLaunch launch;
  launch.commandLine = argv[1];
  if (argc == 3) launch.workDir = argv[2];
  ULONGLONG started = GetTickCount64();
  if (!handshake.empty())
    launch.drive = [&](unsigned long processId) {
      Handshake(handshake, started, processId);
    };
  // A safety net: someone at the dialog has a quarter of an hour.
  DebuggeeRun run = RunWithDebugMonitor({launch}, Paced(900000))[0];
  if (!run.started) {
    fprintf(stderr, "debugrun: cannot start %s (error %lu)\n", argv[1],
            run.startError);
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
