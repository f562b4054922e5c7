#include "real_input.h"

void SendKey(WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &input, sizeof input);
}

void PressKey(WORD key) {
  SendKey(key, false);
  SendKey(key, true);
}

namespace {

INPUT MouseAt(POINT screen, DWORD flags) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  // Absolute positions are in 1/65536 of the screen; aim at pixel centres.
  input.mi.dx = (screen.x * 65536 + 32768) / GetSystemMetrics(SM_CXSCREEN);
  input.mi.dy = (screen.y * 65536 + 32768) / GetSystemMetrics(SM_CYSCREEN);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | flags;
  return input;
}

}  // namespace

void MovePointerTo(POINT screen) {
  INPUT input = MouseAt(screen, 0);
  SendInput(1, &input, sizeof input);
}

bool PointerIsAt(POINT screen) {
  POINT now;
  return GetCursorPos(&now) && now.x == screen.x && now.y == screen.y;
}

void ClickAt(POINT screen) {
  // Each event carries the position: under Wine the X server's echo of an
  // earlier pointer move can arrive in between and move the pointer back.
  INPUT input[3] = {MouseAt(screen, 0), MouseAt(screen, MOUSEEVENTF_LEFTDOWN),
                    MouseAt(screen, MOUSEEVENTF_LEFTUP)};
  SendInput(3, input, sizeof(INPUT));
}
