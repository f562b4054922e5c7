// What the rules look for in what a plug-in did: its recorded service
// calls and the bytes it changed, held against what a rule asks. No
// plug-in runs here, so each check can be tried on made-up calls. Each
// returns the first thing wrong, as the report says it, or "".
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "check_host.h"
#include "stage_plugin.h"

// The info record among guard bytes.
struct InfoBlock {
  uint8_t before[32];
  StageInfoRecord record;
  uint8_t after[32];
};
// The first byte of the block outside infoValue that is no longer `fill`,
// as an offset from the record's start; INT32_MIN when there is none.
long ByteChanged(const InfoBlock &block, uint8_t fill);

// The first byte outside the callbacks that CreateStage changed.
std::string RecordChanged(const RecordBlock &before, const RecordBlock &now);

// A directory of exactly `length` characters, like a deep real path.
std::string DirectoryOf(size_t length);

// The calls one load made in `directory` (`label` says which scenario);
// `asksForFiles`: the plug-in asked for a file when none was present.
std::string LoadCallsWrong(const std::vector<ServiceCall> &calls,
                           const std::string &directory,
                           const std::string &label, bool asksForFiles);

// The first difference between two frames.
std::string Difference(const std::vector<ServiceCall> &a,
                       const std::vector<ServiceCall> &b);

// The calls of one release, after load handed out `given`.
std::string ReleasesWrong(const std::vector<ServiceCall> &calls,
                          const std::vector<Surface *> &given,
                          const std::string &label);

// What a host misses in the export table `names`: CreateStage, or an info
// export (StageInfo or CharacterInfo), exported only under a decorated
// name (_CreateStage, CreateStage@4, _StageInfo@4, a C++ name, ...), which
// a host looking it up by its plain name does not find. "" when every one
// of them that is there is there under its plain name.
std::string DecoratedExport(const std::vector<std::string> &names);

// An export of one argument that removed `removed` bytes from the stack
// as it returned; "" for 0, as plain C (cdecl) asks.
std::string StackRemoved(const char *name, int32_t removed);

// A call that reads the first record after a second CreateStage has
// pointed it at table C with drawParam 999.
bool ReadsFirst(const ServiceCall &call);
// A release through the first record after a second CreateStage, when
// load handed out `given`.
std::string SecondReleaseWrong(const std::vector<ServiceCall> &released,
                               const std::vector<Surface *> &given);
