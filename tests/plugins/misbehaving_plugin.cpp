// A plug-in that does to its process what no host can survive in the same
// process, one thing in each of four rules, so that one stagecheck run
// shows each way a worker ends handled (without a word, stopped by the
// parent, after saying what it saw, in a crash its filter may not live
// through): the rule fails with what happened, and a fresh worker goes on
// with the next rule. It also writes into the host's service table. The
// rest it does right. (Each fault costs a process start, a minute or more
// under an emulator, so there are no more of them.)
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

// draw-before-load: ExitProcess(0). x87-precision: never returns.
#define BEFORE_DRAW()                           \
  if (!loaded) ExitProcess(0);                  \
  while (X87AtSinglePrecision() && keepGoing) { \
  }
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
