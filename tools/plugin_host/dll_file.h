// What a DLL's file says about it before Windows is asked to load it: for
// which processor it was built and which DLLs it imports. LoadLibrary's
// own answers ("error 193", "error 126") name neither; these let a host
// say "a 64-bit DLL" or "needs foo.dll". Every field is checked against
// the file's real size: the file may be anything.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct DllFile {
  uint16_t machine = 0;              // IMAGE_FILE_HEADER.Machine
  std::vector<std::string> imports;  // the DLLs it imports, by name
};

// Reads the file at `path` (UTF-16). False with `why` set when it is no
// PE file ("does not start with MZ", "cut short in its headers", ...) or
// cannot be read; the imports may be empty where the table cannot be
// followed.
bool ReadDllFile(const std::wstring &path, DllFile &dll, std::string &why);

// The machine as people name it: "32-bit x86", "64-bit x86-64", ...
std::string MachineName(uint16_t machine);
