// stagecheck's side of the interface: a host whose services record every
// call, two service tables to tell which one a plug-in went through,
// surfaces of chosen sizes, and calls into the plug-in that survive its
// crashes and give up on its hangs.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "plugin_module.h"
#include "stage_plugin.h"

enum class Service {
  LoadSurface,
  ReleaseSurface,
  DrawSurface,
  GetPath,
  Reserved
};

struct ServiceCall {
  Service service;
  int table;                // 0 or 1: which service table the call came through
  int slot;                 // of a reserved slot
  std::string path;         // LoadSurface
  const char *pathPointer;  // LoadSurface: where the plug-in keeps it
  int32_t number;           // LoadSurface's mode, GetPath's kind
  Surface *surface;         // ReleaseSurface, DrawSurface
  std::string surfaceName;  // its file, "null" or "a surface never given"
  SourceRect source;        // DrawSurface
  StageQuad quad;
  int32_t drawParam;
};

// The same call with the same arguments (floats compared bit for bit;
// surfaces by the file they came from, so that frames of two sessions
// compare).
bool SameCall(const ServiceCall &a, const ServiceCall &b);
std::string DescribeCall(const ServiceCall &call);

// What the host offers in the current session.
struct HostSetup {
  std::string directory;             // GetPath(2)
  std::vector<std::string> present;  // files LoadSurface finds
  // Sizes of the surfaces it gives: 0 for each file's own default
  // (widths 1280, 960, 800, ... by the file's place in `present`, height
  // 480), otherwise these.
  bool oddSize = false;
  float width = 0, height = 0;
};
extern HostSetup hostSetup;
extern std::vector<ServiceCall> serviceCalls;

// Tables A, B and C, alike but for the table number each call records.
const int kServiceTables = 3;
extern HostServices serviceTables[kServiceTables];

// Starts a session: no calls, no surfaces; the setup is kept.
void ResetHost();
// A surface this session handed out, and the file it came from; null and
// "" for any other pointer.
bool SurfaceGiven(const Surface *surface, std::string *name = nullptr);
// Surfaces handed out this session, in order.
std::vector<Surface *> SurfacesGiven();

// Calls `call(argument)` in the plug-in. False when it crashed (an
// exception other than a debugger message) with `what` naming the
// exception and where it happened; the process ends with exit code 1
// after hangHeader and what did not return (`label`) when the call does
// not return within the limit.
bool GuardedCall(void (*call)(void *), void *argument, HMODULE plugin,
                 const std::string &label, std::string &what);
extern int callLimitSeconds;  // 10 unless the command line says otherwise
// Where the hang message goes.
extern FILE *guardOutput;
// The FAIL line of the rule being run, printed when a call hangs.
extern std::string hangHeader;
// How crash addresses in the plug-in are named ("stage.dll+0x14C0").
extern std::string pluginName;

// The plug-in's global variables at one moment, to see what a call wrote.
struct DataSnapshot {
  std::vector<MemoryRange> ranges;
  std::vector<std::vector<unsigned char>> bytes;
};
DataSnapshot TakeSnapshot(HMODULE module);
std::vector<const unsigned char *> ChangedSince(const DataSnapshot &before);
