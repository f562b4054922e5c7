// A plug-in that does to its process what no host can survive in the same
// process, one thing in each of several rules, so that one stagecheck run
// shows every kind handled: the rule fails with what happened, and a fresh
// worker goes on with the next rule. Everything else it does right.
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "stage_plugin.h"

static volatile bool keepGoing = true;
static StageObject *firstRecord;

// Unbounded recursion: every frame is used after the call, so that it
// cannot become a loop.
__attribute__((noinline)) static int Deep(int depth) {
  volatile char frame[512];
  frame[depth & 511] = char(depth);
  return keepGoing ? Deep(depth + 1) + frame[0] : 0;
}

// Returns to 0x41414141.
__attribute__((noinline)) static void SmashReturnAddress() {
  void *volatile *frame =
      static_cast<void *volatile *>(__builtin_frame_address(0));
  frame[1] = reinterpret_cast<void *>(0x41414141);
}

// Writes over the heap blocks around one of its own, then frees it.
static void DamageHeap() {
  volatile char *block = static_cast<char *>(malloc(24));
  for (int i = -16; i < 48; ++i) block[i] = char(0xEE);
  free(const_cast<char *>(block));
}

static bool X87AtSinglePrecision() {
  unsigned short control;
  __asm__ volatile("fnstcw %0" : "=m"(control));
  return (control & 0x300) == 0;
}

// draw-before-load: ExitProcess(0). draw-param: TerminateProcess with 7.
// x87-precision: never returns.
#define BEFORE_DRAW()                                                          \
  if (!loaded) ExitProcess(0);                                                 \
  if (currentStage->drawParam == -5) TerminateProcess(GetCurrentProcess(), 7); \
  while (X87AtSinglePrecision() && keepGoing) {                                \
  }
// odd-surface-sizes: a smashed return address on a NaN width.
#define ADJUST_QUAD(quad, surface) \
  if ((surface)->width != (surface)->width) SmashReturnAddress()
// long-directories: unbounded recursion for a directory of 4000. And
// always a write into the host's service table.
#define BUILD_PATH(directory, file)                                        \
  ((strlen(directory) >= 4000 ? Deep(0) : 0), HOST()->reserved0 = nullptr, \
   strlen(directory) + 1 + strlen(file) < sizeof path &&                   \
       snprintf(path, sizeof path, "%s\\%s", directory, file) > 0)
// second-record: damage to the heap.
#define CREATE_EXTRA(stage)              \
  if (!firstRecord) firstRecord = stage; \
  if (stage != firstRecord) DamageHeap()

#include "broken/skeleton.h"
