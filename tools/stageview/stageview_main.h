// stageview's command line, callable in-process by the tests.
#pragma once

#include <stdint.h>
#include <stdio.h>

// Where error messages go (stderr unless a test points it elsewhere).
extern FILE *stageviewErrors;

// The whole program: arguments as main gets them; the exit code.
int StageviewMain(int argc, char **argv);

// Player 1's left and right keys from .\system\config.dat of the current
// folder, as keyconfig stores them; the arrow keys when the file is missing
// or shorter than the 96-byte record.
void ReadPanKeys(int32_t *left, int32_t *right);
