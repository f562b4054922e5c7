// Expanding stagecheck's arguments into the DLLs to check (plugin_paths.h).
#include "plugin_paths.h"

#include <windows.h>
// after windows.h, which it needs
#include <shlwapi.h>

#include <algorithm>

#include "wide_text.h"

namespace {

bool HasWildcard(const std::string &path) {
  size_t last = path.find_last_of("\\/");
  return path.find_first_of("*?", last == std::string::npos ? 0 : last + 1) !=
         std::string::npos;
}

// The folder part of `path` with its separator ("" for none), to put
// before the names FindFirstFileW gives.
std::string FolderPart(const std::string &path) {
  size_t last = path.find_last_of("\\/");
  if (last != std::string::npos) return path.substr(0, last + 1);
  // "C:*.dll" is relative to the drive's current folder.
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  return "";
}

bool EndsWithDll(const std::wstring &name) {
  return name.size() > 4 &&
         CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".dll", 4,
                              TRUE) == CSTR_EQUAL;
}

// The files (not folders) whose own names match `pattern`, in name order;
// with `dllOnly`, only names ending in ".dll". FindFirstFileW also matches
// the generated short names: under Wine "*t*" found "ソ.dll", and
// "*.dll" finds "x.dllx" where short names exist.
std::vector<std::string> Matches(const std::string &pattern, bool dllOnly) {
  std::vector<std::wstring> names;
  const std::wstring namePattern =
      Widen(pattern.substr(FolderPart(pattern).size()));
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Widen(pattern).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (dllOnly && !EndsWithDll(found.cFileName)) continue;
      if (!dllOnly && !PathMatchSpecW(found.cFileName, namePattern.c_str()))
        continue;
      names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::sort(names.begin(), names.end(),
            [](const std::wstring &a, const std::wstring &b) {
              return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(),
                                          int(b.size()),
                                          TRUE) == CSTR_LESS_THAN;
            });
  std::vector<std::string> paths;
  for (const std::wstring &name : names)
    paths.push_back(FolderPart(pattern) + Utf8(name));
  return paths;
}

}  // namespace

std::vector<PluginPath> ExpandPluginPaths(
    const std::vector<std::string> &arguments, bool *several) {
  std::vector<PluginPath> paths;
  *several = arguments.size() > 1;
  for (const std::string &argument : arguments) {
    std::vector<std::string> files;
    std::string problem;
    if (HasWildcard(argument)) {
      *several = true;
      files = Matches(argument, false);
      if (files.empty()) problem = "no file matches this pattern";
    } else {
      DWORD attributes = GetFileAttributesW(Widen(argument).c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem = "not found";
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        *several = true;
        std::string folder = argument;
        if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
        files = Matches(folder + "*.dll", true);
        if (files.empty()) problem = "a folder with no DLL in it";
      } else {
        files.push_back(argument);
      }
    }
    if (!problem.empty()) paths.push_back({argument, problem});
    for (const std::string &file : files) paths.push_back({file, ""});
  }
  return paths;
}
