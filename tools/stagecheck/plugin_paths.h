// What stagecheck checks when given DLLs, folders and wildcard patterns:
// cmd.exe hands "*.dll" over unexpanded, so stagecheck expands it itself,
// through the W calls (paths are UTF-8 here, whatever the code page).
#pragma once

#include <string>
#include <vector>

struct PluginPath {
  std::string path;     // the file to check, as the argument names it
  std::string problem;  // when set, nothing to check here, and why
};

// Each argument in turn: a file as it is; a folder as every *.dll directly
// in it; a pattern (* or ? in its last part) as every file it matches. The
// files of one folder or pattern come in name order (ignoring case). A
// missing path, a folder with no DLL or a pattern that matches nothing
// gives one entry with its problem. `several` tells whether the run is
// more than one plug-in named once: several arguments, a folder or a
// pattern.
std::vector<PluginPath> ExpandPluginPaths(
    const std::vector<std::string> &arguments, bool *several);
