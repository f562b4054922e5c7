// stagecheck's side of the interface: a host whose services record every
// call, three service tables to tell which one a plug-in went through
// (A and B for the record's host, C for a record the plug-in should no
// longer read), surfaces of chosen sizes, records among guard bytes, and
// the calls into the plug-in: each announced to the parent (which times
// it), run below a stack pad, and followed by a check of every byte the
// host owns.
#pragma once

#include <stdint.h>

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
  int table;         // 0, 1 or 2: which service table the call came through
  int slot;          // of a reserved slot
  std::string path;  // LoadSurface
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
  // Surface sizes: unless `oddSize`, each file's own default (widths 1280,
  // 960, 800, ... by the file's place in `present`, height 480); with it,
  // `width` and `height` for every surface.
  bool oddSize = false;
  float width = 0, height = 0;
};

// Tables A, B and C, alike but for the table number each call records.
const int kServiceTables = 3;

// Two records, each with the host's own bytes on both sides, so that a
// write beyond the plug-in's fields shows. Kept in place for the whole run.
struct RecordBlock {
  uint32_t before[8];
  StageObject object;
  uint32_t after[16];
};

// Everything of the host that a scenario sets up and reads back. The
// services are plain callbacks with no context of their own, so there is
// one per process (CheckHost); the rules reach it only through that.
struct HostState {
  HostSetup setup;                 // what this session offers
  std::vector<ServiceCall> calls;  // every service call this session
  HostServices tables[kServiceTables];
  RecordBlock records[2];
  // What the host offers at the moment, sent with every call so that the
  // parent can say where a worker died ("with back1.bmp present").
  std::string scenarioCase;
  // The first write to memory the host owns since it was last cleared.
  std::string firstWrite;
};
HostState &CheckHost();

// Starts a session: no calls, no surfaces; the setup is kept.
void ResetHost();
// A surface this session handed out, and the file it came from; null and
// "" for any other pointer.
bool SurfaceGiven(const Surface *surface, std::string *name = nullptr);
// Surfaces handed out this session, in order.
std::vector<Surface *> SurfacesGiven();

// Fills record `record` for service table `table` and `drawParam`.
void PrepareRecord(int record, int table, int32_t drawParam);

// Announces a call into the plug-in (LoadLibrary, CreateStage, draw, ...)
// to the parent, which times it; EndCall says it returned.
void BeginCall(const std::string &label);
void EndCall();

// Calls `call(argument)` in the plug-in, announced, below a stack pad, and
// checks afterwards that it wrote nothing the host owns (records outside
// fields 1 to 4, except in CreateStage, whose writes are its own rule's;
// service tables; surfaces; the string GetPath returned). A write is sent
// to the parent as "wrote", kept in CheckHost().firstWrite if it is the first,
// and undone, so that it spoils no other rule. False, with `what` set,
// when the call returned having written over the stack above its frames.
// A fault or a hang is not survived: the worker ends (see
// ReportCrashesToParent) or the parent ends it.
bool GuardedCall(void (*call)(void *), void *argument, const std::string &label,
                 std::string &what);

// Calls a plug-in's export of one argument (CreateStage, the info export)
// as a plain C host does, and puts the stack back however the export left
// it. `removed`: the bytes of arguments the export took off the stack as it
// returned, 0 for plain C (cdecl), 4 for a __stdcall function.
int32_t CallExport(const void *function, void *argument, int32_t *removed);

// The names in the export table of a loaded module.
std::vector<std::string> ExportNames(HMODULE module);

// From now on a fault anywhere in the worker sends "crash" to the parent
// and ends the process; addresses are given relative to `plugin`, the
// instance being run (set again for each instance).
void ReportCrashesToParent();
// Where no parent can report it (the parent itself, or the plug-in run
// --in-process): a fault ends the process with a line on stderr and
// kExitCannotFinish.
void ReportCrashesOnStderr();
// stagecheck's exit code when it could not finish its report (what
// happened is on stderr).
const int kExitCannotFinish = 3;
void SetCrashModule(HMODULE plugin);

// The plug-in's global variables at one moment, to see what a call wrote.
struct DataSnapshot {
  std::vector<MemoryRange> ranges;
  std::vector<std::vector<unsigned char>> bytes;
};
DataSnapshot TakeSnapshot(HMODULE module);
std::vector<const unsigned char *> ChangedSince(const DataSnapshot &before);
