// stageview's command line, callable in-process by the tests.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Where error messages go (stderr unless a test points it elsewhere).
extern FILE *stageviewErrors;

// The whole program: arguments as main gets them; the exit code.
int StageviewMain(int argc, char **argv);

// The live window's keys for moving the camera: player 1's up, down, left
// and right keys from .\system\config.dat of the current folder, as
// keyconfig stores them; the arrow keys when the file is missing or
// shorter than the 96-byte record.
struct CameraKeys {
  int32_t up, down, left, right;
};
void ReadCameraKeys(CameraKeys *keys);

// The colour of the camera mark in each frame of a pan strip (0xRRGGBB);
// the mark sits in the frame's bottom rows, from column 16 (the range's
// low end) to 480 (its high end).
const uint32_t kPanMarkColour = 0xFFD000;
