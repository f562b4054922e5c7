// What every host of ours hands a plug-in and checks of what it gets back:
// the service table with the slots plug-ins never call filled by the host,
// the record's "HOST" sentinel, and the callbacks CreateStage wrote.
#pragma once

#include <stdint.h>
#include <windows.h>

#include "stage_plugin.h"

// hostReserved of our records: "HOST" in memory.
const uint32_t kHostSentinel = 0x54534F48;

// The reserved slots (0, 1, 2, 5, 6), in table order.
const int kReservedSlots[] = {0, 1, 2, 5, 6};
const int kReservedSlotCount = 5;

// A table with the four services and `reserved[i]` in slot
// kReservedSlots[i], so that a call to a reserved slot reports itself.
HostServices ServiceTable(LoadSurfaceFn load, ReleaseSurfaceFn release,
                          DrawSurfaceFn draw, GetPathFn getPath,
                          void *const reserved[kReservedSlotCount]);

// The four callbacks CreateStage writes, by name and field.
struct CallbackField {
  const char *name;
  StageCallback StageObject::*field;
};
extern const CallbackField kCallbackFields[4];

// The first callback CreateStage left outside the plug-in's image (null
// among them): "draw", "load", "release" or "aux"; null when all four are
// the plug-in's.
const char *CallbackOutside(const StageObject &record, HMODULE plugin);
