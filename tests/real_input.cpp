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

void ClickAt(POINT screen) {
  INPUT input[3] = {};
  for (INPUT &i : input) i.type = INPUT_MOUSE;
  // Absolute positions are in 1/65536 of the screen; aim at pixel centres.
  input[0].mi.dx = (screen.x * 65536 + 32768) / GetSystemMetrics(SM_CXSCREEN);
  input[0].mi.dy = (screen.y * 65536 + 32768) / GetSystemMetrics(SM_CYSCREEN);
  input[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  input[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  input[2].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(3, input, sizeof(INPUT));
}
