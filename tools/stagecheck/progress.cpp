// The progress line (progress.h), written with WriteConsoleW so that a
// plug-in's name reads right whatever the console's code page.
#include "progress.h"

#include <stdio.h>
#include <windows.h>

#include "wide_text.h"

namespace {

HANDLE console = nullptr;  // stderr, when it is a console
std::string plugin, step;
DWORD stepSince = 0, drawnAt = 0;
bool sinceClock = false;  // the step blocks redraws: show when it began
SYSTEMTIME began;
bool shown = false;
size_t drawnWidth = 0;

void Write(const std::wstring &text) {
  DWORD written;
  WriteConsoleW(console, text.data(), DWORD(text.size()), &written, nullptr);
}

void Draw() {
  if (!console) return;
  // A thread of its own could redraw through a worker's start too, but
  // the one run tried with such a thread and a console (Wine under qemu)
  // stopped in a console write, cause not found: the clock time the step
  // began says as much.
  std::string when;
  if (sinceClock) {
    char text[32];
    snprintf(text, sizeof text, " (since %02u:%02u:%02u)",
             unsigned(began.wHour), unsigned(began.wMinute),
             unsigned(began.wSecond));
    when = text;
  } else {
    when = " (" + std::to_string((GetTickCount() - stepSince) / 1000) + " s)";
  }
  std::wstring line = Widen("stagecheck: " + plugin + ": " + step + when);
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
  drawnAt = GetTickCount();
}

}  // namespace

void ProgressBegin() {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode;
  console = error && GetConsoleMode(error, &mode) ? error : nullptr;
}

void ProgressPlugin(const std::string &label) {
  plugin = label;
  ProgressStep("starting");
}

void ProgressStep(const std::string &text, bool blocking) {
  step = text;
  stepSince = GetTickCount();
  sinceClock = blocking;
  GetLocalTime(&began);
  Draw();
}

void ProgressTick() {
  if (console && GetTickCount() - drawnAt >= 1000) Draw();
}

void ProgressHide() {
  if (!console || !shown) return;
  Write(L"\r" + std::wstring(drawnWidth, L' ') + L"\r");
  shown = false;
  drawnWidth = 0;
}

void ProgressShow() {
  if (console && !plugin.empty()) Draw();
}

void ProgressEnd() {
  ProgressHide();
  plugin.clear();
}
