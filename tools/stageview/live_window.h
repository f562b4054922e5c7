// The live window (--window): the stage redrawn about 60 times a second so
// that an author sees a change at once. Player 1's keys, as keyconfig
// stores them, move the camera and the eye; a bitmap saved in the stage
// folder, or F5, reloads the stage; Esc closes the window.
#pragma once

#include <stdint.h>

#include <string>

#include "stage_host.h"

// The live window's keys for moving the camera: player 1's up, down, left
// and right keys from .\system\config.dat of the current folder, as
// keyconfig stores them; the arrow keys when the file is missing or
// shorter than the 96-byte record.
struct CameraKeys {
  int32_t up, down, left, right;
};
void ReadCameraKeys(CameraKeys *keys);

// The stage the live window shows, and where it reports what goes wrong
// (a message without "stageview: ").
struct LiveStage {
  const char *plugin, *folder;  // as opened, for reloading
  double eyeHeight;             // as given; the framing is fitted for it
  void (*report)(const std::string &message);
};

// Shows the stage that is open through `view`, its camera kept within the
// range of `layers` (the frame the view was fitted to), until the window
// is closed; `frame` is drawn into and shown. A reload reports every
// broken host contract of the stage it closes; a failed reload is reported
// and closes the window.
void RunWindow(const LiveStage &stage, const View &view,
               const FrameRequests &layers, Frame *frame);
