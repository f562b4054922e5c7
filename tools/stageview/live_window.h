// The live window (--window): the stage redrawn about 60 times a second so
// that an author sees a change at once. Player 1's keys, as keyconfig
// stores them, move the camera and the eye; a bitmap saved in the stage
// folder, or F5, reloads the stage; Esc closes the window.
#pragma once

#include <stdint.h>

#include "stage_host.h"

// The live window's keys for moving the camera: player 1's up, down, left
// and right keys from .\system\config.dat of the current folder, as
// keyconfig stores them; the arrow keys when the file is missing or
// shorter than the 96-byte record.
struct CameraKeys {
  int32_t up, down, left, right;
};
void ReadCameraKeys(CameraKeys *keys);

// Shows the stage that is open (from `plugin` and `folder`) through
// `view`, framed for `eyeHeight`, until the window is closed; `frame` is
// drawn into and shown. A failed reload is reported and closes the window.
void RunWindow(const char *plugin, const char *folder, double eyeHeight,
               const View &view, Frame *frame);
