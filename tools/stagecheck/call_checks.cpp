// The checks of call_checks.h: plain functions of the recorded calls and
// bytes they are given.
#include "call_checks.h"

#include <limits.h>
#include <stddef.h>
#include <stdlib.h>

#include <algorithm>
#include <map>

namespace {

// What is wrong with one LoadSurface call of load in `directory`, or "".
std::string LoadPathWrong(const ServiceCall &call, const std::string &directory,
                          const std::string &what) {
  const std::string prefix = directory + "\\";
  std::string name =
      call.path.substr(std::min(call.path.size(), prefix.size()));
  if (call.path.compare(0, prefix.size(), prefix) != 0 || name.empty() ||
      name.find_first_of("\\/") != std::string::npos)
    return what +
           "; the rule asks for the directory, one backslash and a file name";
  if (call.number != 0)
    return what + "; the rule asks for 0 as second argument";
  return "";
}

}  // namespace

// The first byte of the block outside infoValue that is no longer `fill`,
// as an offset from the record's start; INT32_MIN when there is none.
long ByteChanged(const InfoBlock &block, uint8_t fill) {
  const size_t valueAt = offsetof(InfoBlock, record) + 96;
  const uint8_t *bytes = reinterpret_cast<const uint8_t *>(&block);
  for (size_t i = 0; i < sizeof block; ++i)
    if ((i < valueAt || i >= valueAt + 4) && bytes[i] != fill)
      return long(i) - long(offsetof(InfoBlock, record));
  return INT32_MIN;
}

// The first byte outside the callbacks that CreateStage changed, named,
// or "".
std::string RecordChanged(const RecordBlock &before, const RecordBlock &now) {
  const uint8_t *was = reinterpret_cast<const uint8_t *>(&before);
  const uint8_t *is = reinterpret_cast<const uint8_t *>(&now);
  const long fieldsAt = long(offsetof(RecordBlock, object));
  for (size_t i = 0; i < sizeof before; ++i) {
    long offset = long(i) - fieldsAt;
    if (offset >= 4 && offset < 20) continue;  // draw, load, release, aux
    if (was[i] == is[i]) continue;
    const char *what = offset == 0                   ? " (hostReserved)"
                       : offset < 24 && offset >= 20 ? " (host)"
                       : offset >= 24 && offset < 28 ? " (drawParam)"
                       : offset < 0                  ? " (before the record)"
                                    : " (the host's bytes after field 6)";
    return "CreateStage changed the byte at offset " + std::to_string(offset) +
           what + "; the rule asks for fields 1 to 4 only";
  }
  return "";
}

// A directory of exactly `length` characters, like a deep real path.
std::string DirectoryOf(size_t length) {
  std::string directory = "C:\\stagecheck";
  while (directory.size() < length) directory += "\\stage folder";
  directory.resize(length);
  if (directory.back() == '\\') directory.back() = 'x';
  return directory;
}

// What is wrong with the calls one load made in `directory`, or "".
std::string LoadCallsWrong(const std::vector<ServiceCall> &calls,
                           const std::string &directory,
                           const std::string &label, bool asksForFiles) {
  bool askedForPath = false;
  int loads = 0;
  for (const ServiceCall &call : calls) {
    std::string what = label + ": " + DescribeCall(call);
    if (call.service == Service::GetPath) {
      if (call.number != 2) return what + "; the rule asks for kind 2 only";
      askedForPath = true;
      continue;
    }
    if (call.service != Service::LoadSurface)
      return what + "; the rule asks load for GetPath and LoadSurface only";
    ++loads;
    if (!askedForPath) return what + " before any GetPath(2)";
    std::string wrong = LoadPathWrong(call, directory, what);
    if (!wrong.empty()) return wrong;
  }
  if (!askedForPath) return label + ": load never called GetPath(2)";
  if (loads == 0 && asksForFiles)
    return label +
           ": load asked for no bitmap; the path fits the 256-byte buffer";
  return "";
}

// The first difference between two frames, or "".
std::string Difference(const std::vector<ServiceCall> &a,
                       const std::vector<ServiceCall> &b) {
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i)
    if (!SameCall(a[i], b[i]))
      return "call " + std::to_string(i + 1) + " was " + DescribeCall(a[i]) +
             " and then " + DescribeCall(b[i]);
  if (a.size() != b.size())
    return std::to_string(a.size()) + " calls and then " +
           std::to_string(b.size());
  return "";
}

// What is wrong with the calls of one release, after load handed out
// `given`, or "".
std::string ReleasesWrong(const std::vector<ServiceCall> &calls,
                          const std::vector<Surface *> &given,
                          const std::string &label) {
  std::map<Surface *, int> released;
  for (const ServiceCall &call : calls) {
    std::string what = label + ": release called " + DescribeCall(call);
    if (call.service != Service::ReleaseSurface)
      return what + "; the rule asks release for ReleaseSurface only";
    if (!SurfaceGiven(call.surface))
      return what + "; the rule asks for loaded surfaces only";
    if (++released[call.surface] == 2)
      return what + " a second time; the rule asks for once";
  }
  for (Surface *surface : given)
    if (!released.count(surface)) {
      std::string name;
      SurfaceGiven(surface, &name);
      return label + ": release left " + name +
             " unreleased; the rule asks for every loaded surface";
    }
  return "";
}

// A call that reads the first record after a second CreateStage: through
// table C, or with drawParam 999.
bool ReadsFirst(const ServiceCall &call) {
  return call.table == 2 ||
         (call.service == Service::DrawSurface && call.drawParam == 999);
}

// What is wrong with a release through the first record after a second
// CreateStage, when load handed out `given`, or "".
std::string SecondReleaseWrong(const std::vector<ServiceCall> &released,
                               const std::vector<Surface *> &given) {
  for (const ServiceCall &call : released)
    if (ReadsFirst(call))
      return "after a second CreateStage, release through the first record "
             "called " +
             DescribeCall(call) + "; the rule asks for the newer record's host";
  for (Surface *surface : given) {
    bool found = false;
    for (const ServiceCall &call : released) found |= call.surface == surface;
    std::string name;
    SurfaceGiven(surface, &name);
    if (!found)
      return "after a second CreateStage, release through the first record "
             "left " +
             name +
             " (loaded before it) unreleased; the rule asks that the "
             "surfaces stay in place";
  }
  return "";
}

namespace {

// The plain name a decorated export name stands for, or "": "_X", "@X",
// "X@4", "_X@4", "@X@4", Visual C++'s "?X@@..." and GCC's "_Z1X...".
std::string Undecorated(const std::string &name) {
  std::string plain = name;
  if (plain.size() > 1 && plain[0] == '?')
    return plain.substr(1, plain.find('@') - 1);
  if (plain.compare(0, 2, "_Z") == 0) {
    size_t digits = plain.find_first_not_of("0123456789", 2);
    if (digits == 2 || digits == std::string::npos) return "";
    size_t length = strtoul(plain.c_str() + 2, nullptr, 10);
    return plain.substr(digits, length);
  }
  if (!plain.empty() && (plain[0] == '_' || plain[0] == '@')) plain.erase(0, 1);
  size_t at = plain.rfind('@');
  if (at != std::string::npos && at + 1 < plain.size() &&
      plain.find_first_not_of("0123456789", at + 1) == std::string::npos)
    plain.erase(at);
  return plain == name ? "" : plain;
}

}  // namespace

std::string DecoratedExport(const std::vector<std::string> &names) {
  auto exported = [&](const char *name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  };
  const bool hasInfo = exported("StageInfo") || exported("CharacterInfo");
  for (const std::string &name : names) {
    std::string plain = Undecorated(name);
    bool missed =
        (plain == "CreateStage" && !exported("CreateStage")) ||
        ((plain == "StageInfo" || plain == "CharacterInfo") && !hasInfo);
    if (missed)
      return "it exports " + plain + " only as \"" + name +
             "\", a decorated name (a __stdcall or C++ function, or no .def "
             "file), which the game does not find: it looks exports up by "
             "their plain names. To fix: declare it extern \"C\" and "
             "STAGE_CDECL and list it by name in a .def file, as "
             "sdk\\example\\example.def does";
  }
  return "";
}

std::string StackRemoved(const char *name, int32_t removed) {
  if (!removed) return "";
  return std::string(name) + " took " + std::to_string(removed) +
         " bytes of arguments off the stack as it returned (a __stdcall "
         "function?); the game calls it as plain C (cdecl) and removes them "
         "itself, so its stack would be off by " +
         std::to_string(removed) +
         " bytes after each call. To fix: declare it STAGE_CDECL, as the "
         "header's CreateStageFn and StageInfoFn are";
}
