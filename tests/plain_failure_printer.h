// GoogleTest's own printer also sends every failure to OutputDebugStringA,
// which Wine raises as an exception. Where 32-bit code runs through qemu's
// emulator, an exception raised after a thread of the process has ended
// (the debug monitor's launcher and drivers, tools/debugrun) kills the
// process, and with it the failure and the rest of the run (seen: "qemu:
// uncaught target signal 11" right after the first failure was printed).
// This printer writes the same text to stdout only.
#pragma once

// Puts the printer in place of GoogleTest's; call after InitGoogleTest.
void PrintFailuresWithoutDebuggerOutput();
