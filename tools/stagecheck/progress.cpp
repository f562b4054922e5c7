// The progress line (progress.h), written with WriteConsoleW so that a
// plug-in's name reads right whatever the console's code page. A thread
// of its own redraws it every second: under Wine, CreateProcessW returns
// only once the new process has started, a minute or more under an
// emulator, and the seconds must count meanwhile.
#include "progress.h"

#include <windows.h>

#include "wide_text.h"

namespace {

HANDLE console = nullptr;  // stderr, when it is a console
CRITICAL_SECTION lock;     // the line's state, between the two threads
std::string plugin, step;
DWORD stepSince = 0;
bool shown = false;
size_t drawnWidth = 0;

void Write(const std::wstring &text) {
  DWORD written;
  WriteConsoleW(console, text.data(), DWORD(text.size()), &written, nullptr);
}

void Draw() {
  if (!console) return;
  DWORD seconds = (GetTickCount() - stepSince) / 1000;
  std::wstring line = Widen("stagecheck: " + plugin + ": " + step + " (" +
                            std::to_string(seconds) + " s)");
  // One row only: a line that wraps cannot be rewritten in place.
  CONSOLE_SCREEN_BUFFER_INFO info;
  size_t width = 80;
  if (GetConsoleScreenBufferInfo(console, &info) && info.dwSize.X > 1)
    width = size_t(info.dwSize.X) - 1;
  if (line.size() > width) line.resize(width);
  size_t previous = drawnWidth;
  drawnWidth = line.size();
  if (previous > line.size()) line.append(previous - line.size(), L' ');
  Write(L"\r" + line + L"\r");
  shown = true;
}

// Runs until the process ends; it never ends by itself (a Wine process
// under qemu can die at its first exception after a thread has ended).
DWORD WINAPI Ticker(void *) {
  for (;;) {
    Sleep(1000);
    EnterCriticalSection(&lock);
    if (shown) Draw();
    LeaveCriticalSection(&lock);
  }
}

struct Locked {
  Locked() {
    if (console) EnterCriticalSection(&lock);
  }
  ~Locked() {
    if (console) LeaveCriticalSection(&lock);
  }
};

}  // namespace

void ProgressBegin() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  if (console || !error || !GetConsoleMode(error, &mode)) return;
  InitializeCriticalSection(&lock);
  console = error;
  HANDLE thread = CreateThread(nullptr, 0, Ticker, nullptr, 0, nullptr);
  if (thread) CloseHandle(thread);
}

void ProgressPlugin(const std::string &label) {
  Locked l;
  plugin = label;
  ProgressStep("starting");
}

void ProgressStep(const std::string &text) {
  Locked l;
  step = text;
  stepSince = GetTickCount();
  Draw();
}

void ProgressHide() {
  Locked l;
  if (!console || !shown) return;
  Write(L"\r" + std::wstring(drawnWidth, L' ') + L"\r");
  shown = false;
  drawnWidth = 0;
}

void ProgressShow() {
  Locked l;
  if (console && !plugin.empty()) Draw();
}

void ProgressEnd() {
  ProgressHide();
  Locked l;
  plugin.clear();
}
