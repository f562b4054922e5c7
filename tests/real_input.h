// Keyboard and mouse input through SendInput, the path a user's input takes:
// it reaches the active window of the calling thread's desktop, with the
// activation and focus changes a real click or key press brings.
#pragma once

#include <windows.h>

void SendKey(WORD key, bool up);
void PressKey(WORD key);  // down, then up
// The pointer moved to a point of the screen (pixels), and whether it is
// there: a user moves to a place before clicking it.
void MovePointerTo(POINT screen);
bool PointerIsAt(POINT screen);
// A left click at a point of the screen (pixels).
void ClickAt(POINT screen);
