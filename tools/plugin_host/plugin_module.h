// Loading a stage plug-in DLL and finding its exports, the part of being a
// host that stageview and stagecheck share.
#pragma once

#include <windows.h>

#include <string>

#include "stage_plugin.h"

struct PluginModule {
  HMODULE module = NULL;
  CreateStageFn createStage = nullptr;
  StageInfoFn info = nullptr;  // StageInfo or CharacterInfo, if either
  const char *infoName = "";   // which of the two
};

// Exit codes the hosts share for a DLL that is no stage plug-in.
const int kCannotLoadPlugin = 2;
const int kNotAStagePlugin = 3;

// Loads the DLL at `path` (UTF-8, through LoadLibraryW) and looks up
// CreateStage and the info export. Returns 0, or kCannotLoadPlugin /
// kNotAStagePlugin with `error` set and nothing loaded. The error is one
// line that names the path and the cause in words an author can act on:
// "not found", a DLL built for another processor (read from its header
// before Windows is asked), an imported DLL that is nowhere to be found,
// a path too long.
int LoadPluginModule(const char *path, PluginModule &plugin,
                     std::string &error);

void UnloadPluginModule(PluginModule &plugin);

// Whether 32-bit code runs through qemu's user-mode emulator here.
bool UnderEmulator();

// How long a host waits for one call into a plug-in before it gives up on
// it: 10 s, or 100 s where 32-bit code runs through qemu's emulator
// (stagecheck's call limit).
unsigned DefaultCallLimitSeconds();

// The PE headers of a loaded module (its image as Windows mapped it).
const IMAGE_NT_HEADERS *ModuleHeaders(HMODULE module);

// Whether an address lies in the module's image (for telling a crash of
// the plug-in from one of the host).
bool AddressInModule(HMODULE module, const void *address);

struct MemoryRange {
  unsigned char *start;
  size_t size;
};

// The module's whole image.
MemoryRange ModuleImage(HMODULE module);

// The module's writable sections (its global variables), as address ranges.
int WritableSections(HMODULE module, MemoryRange *ranges, int capacity);
