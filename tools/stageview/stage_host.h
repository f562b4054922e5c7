// A reference game host for stage plug-ins: it loads a plug-in DLL, plays
// the host's part of the interface in stage_plugin.h, and renders what the
// plug-in draws into a 640 x 480 frame (view.h: how a frame is seen).
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "stage_plugin.h"
#include "view.h"

// Where trace lines go (one call per line, without a line feed); null: off.
void TraceHostCalls(void (*line)(const std::string &line));
// Where the host's warnings to the stage author go (stderr by default).
void SendHostWarningsTo(FILE *warnings);

// Loads the plug-in, calls its info export (StageInfo or CharacterInfo) and
// CreateStage, then load. On failure returns stageview's exit code for it
// (exit_codes.h: kExitCannotLoadPlugin, kExitNotAStagePlugin, or
// kExitBrokeContract when CreateStage does not return 1 or leaves a
// callback null) with `error` set, and leaves nothing loaded; 0 on success.
// Both paths are UTF-8; the plug-in gets the folder from GetPath in the
// ANSI code page (its short form when that code page cannot hold it).
int OpenStage(const char *pluginPath, const char *stageFolder,
              std::string &error);

// The info value that the info export wrote (or -1 without one).
int32_t StageInfoValue();

// One frame: calls draw and paints what it asked for, seen from `view`;
// returns what it asked for (FrameRequests of view.h).
FrameRequests RenderFrame(const View &view, Frame &frame);

// The framing for the stage just opened: draws one frame into `scratch`
// to learn its layers (`layers`), then fits the view to them (FittedView).
View FitToStage(double eyeHeight, Frame &scratch, FrameRequests &layers);

// Calls release, unloads the plug-in and checks the plug-in's part of the
// contract. Returns what went wrong on the host side, one text each: a
// surface released twice or never, an unknown surface, a reserved slot
// called. Empty when all was well.
std::vector<std::string> CloseStage();

// Whether an address lies in the loaded plug-in's image (for telling a
// crash of the plug-in from one of the host).
bool AddressInPlugin(const void *address);

// Removes trailing '\\' and '/' from a folder; a lone root separator stays.
void StripTrailingSeparators(std::wstring &folder);

// Watches every call into the plug-in (its DllMain, info export,
// CreateStage, load, draw, release) from a thread of its own: one that has
// not returned after `limitMs` is reported through `report` ("the
// plug-in's draw did not return within 10 s ...") and ends the process
// with kExitPluginHung, whatever mode it runs in. For the program, not for
// tests that call the host in their own process.
void WatchPluginCalls(unsigned limitMs,
                      void (*report)(const std::string &message));

// The service table handed to the plug-in (for tests of the host itself).
HostServices *StageHostServices();
