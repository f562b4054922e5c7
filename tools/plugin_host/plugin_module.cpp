// Loading a plug-in (plugin_module.h). Windows' own failure codes name
// neither the cause nor the fix, so the file is looked at first: that it
// exists, for which processor it was built, and, when it still cannot
// load, which DLL it imports that cannot be found.
#include "plugin_module.h"

#include <string.h>

#include "dll_file.h"
#include "wide_text.h"

namespace {

// Windows loads nothing from a path of MAX_PATH characters or more.
const size_t kLongestDllPath = MAX_PATH - 1;

std::wstring FullPath(const std::wstring &path) {
  wchar_t full[32768];
  DWORD length = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  return length && length < 32768 ? std::wstring(full, length) : path;
}

bool HasSeparator(const std::wstring &path) {
  return path.find_first_of(L"\\/:") != std::wstring::npos;
}

// The file LoadLibrary would load for `path`: the path itself when it
// names a folder, else as Windows searches (adding ".dll" as it does).
// Paths too long for the plain calls are looked at through "\\?\".
bool FindDll(const std::wstring &path, std::wstring &found) {
  if (HasSeparator(path)) {
    std::wstring full = FullPath(path);
    std::wstring look = full.size() > kLongestDllPath && full.rfind(L"\\\\", 0)
                            ? L"\\\\?\\" + full
                            : full;
    DWORD attributes = GetFileAttributesW(look.c_str());
    found = look;
    return attributes != INVALID_FILE_ATTRIBUTES &&
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
  wchar_t where[MAX_PATH];
  DWORD length =
      SearchPathW(nullptr, path.c_str(), L".dll", MAX_PATH, where, nullptr);
  if (!length || length >= MAX_PATH) return false;
  found = where;
  return true;
}

// The folder of this program's .exe, for naming where DLLs are looked for.
std::string ProgramName() {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::string name = Utf8(path);
  size_t slash = name.find_last_of("\\/");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// Whether a DLL that a plug-in imports can be found where LoadLibrary
// looks for it: loaded already, or in the program's folder, the system
// folders, the current folder or on the PATH.
bool DependencyFound(const std::string &name) {
  std::wstring wide = Widen(name);
  if (GetModuleHandleW(wide.c_str())) return true;
  wchar_t where[MAX_PATH];
  return SearchPathW(nullptr, wide.c_str(), nullptr, MAX_PATH, where,
                     nullptr) != 0;
}

std::string SystemMessage(DWORD error) {
  wchar_t *text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0,
                 nullptr);
  std::string message = text ? Utf8(text) : "";
  if (text) LocalFree(text);
  while (!message.empty() && strchr(" .\r\n", message.back()))
    message.pop_back();
  return message;
}

// Why LoadLibrary failed, for a file that exists and was built for x86.
std::string LoadFailure(DWORD error, const DllFile &dll) {
  if (error == ERROR_MOD_NOT_FOUND || error == ERROR_PROC_NOT_FOUND) {
    std::string missing;
    for (const std::string &name : dll.imports)
      if (!DependencyFound(name))
        missing += (missing.empty() ? "" : ", ") + name;
    std::string places = "the folder of " + ProgramName() +
                         ", the system folders, the current folder or a "
                         "folder on the PATH (not the plug-in's own folder)";
    if (!missing.empty())
      return "it needs " + missing + ", which is not in " + places +
             ": put it there, or link the plug-in without it";
    if (error == ERROR_PROC_NOT_FOUND)
      return "a DLL it imports lacks a function it needs (Windows error 127)";
    return "a DLL it needs could not be loaded in turn (it imports " + [&dll] {
      std::string list;
      for (const std::string &n : dll.imports)
        list += (list.empty() ? "" : ", ") + n;
      return list;
    }() + "; Windows error 126)";
  }
  if (error == ERROR_DLL_INIT_FAILED)
    return "its DllMain returned FALSE (Windows error 1114)";
  std::string text = SystemMessage(error);
  return "Windows error " + std::to_string(error) +
         (text.empty() ? "" : " (" + text + ")");
}

// The module, or null with `error` set.
HMODULE LoadDll(const char *path, std::string &error) {
  const std::string prefix = "cannot load the plug-in " + std::string(path);
  std::wstring wide = Widen(path), file;
  if (!FindDll(wide, file)) {
    DWORD why = GetLastError();
    if (why == ERROR_FILENAME_EXCED_RANGE)
      error = prefix + ": the path is too long for Windows";
    else
      error = prefix + ": not found" +
              (HasSeparator(wide)
                   ? " (" + Utf8(FullPath(wide)) + ")"
                   : " in the current folder, the folder of " + ProgramName() +
                         ", the system folders or the PATH");
    return nullptr;
  }
  DllFile dll;
  std::string notDll;
  if (!ReadDllFile(file, dll, notDll)) {
    error = prefix + ": " + notDll;
    return nullptr;
  }
  if (dll.machine != IMAGE_FILE_MACHINE_I386) {
    error = prefix + ": it is a " + MachineName(dll.machine) +
            " DLL; stage plug-ins are 32-bit x86 DLLs: build it with a "
            "32-bit compiler (i686-w64-mingw32-gcc, or Visual C++ for x86)";
    return nullptr;
  }
  // A path of MAX_PATH or more loads by its short (8.3) form, where the
  // file system has one.
  std::wstring load = HasSeparator(wide) ? file : wide;
  if (load.size() > kLongestDllPath) {
    wchar_t shortPath[32768];
    DWORD length = GetShortPathNameW(load.c_str(), shortPath, 32768);
    if (!length || length > kLongestDllPath + 4) {  // "\\?\" does not count
      error = prefix + ": the path is " +
              std::to_string(FullPath(wide).size()) +
              " characters long; Windows loads a DLL from a path of at most " +
              std::to_string(kLongestDllPath) + ": move it to a shorter path";
      return nullptr;
    }
    load.assign(shortPath, length);
  }
  HMODULE module = LoadLibraryW(load.c_str());
  if (!module) error = prefix + ": " + LoadFailure(GetLastError(), dll);
  return module;
}

}  // namespace

int LoadPluginModule(const char *path, PluginModule &plugin,
                     std::string &error) {
  plugin = PluginModule();
  HMODULE module = LoadDll(path, error);
  if (!module) return kCannotLoadPlugin;
  auto find = [module](const char *name) {
    return reinterpret_cast<void *>(GetProcAddress(module, name));
  };
  plugin.createStage = reinterpret_cast<CreateStageFn>(find("CreateStage"));
  if (!plugin.createStage) {
    error = std::string(path) +
            " is not a stage plug-in: it exports no CreateStage";
    FreeLibrary(module);
    return kNotAStagePlugin;
  }
  plugin.module = module;
  for (const char *name : {"StageInfo", "CharacterInfo"}) {
    if (void *info = find(name)) {
      plugin.info = reinterpret_cast<StageInfoFn>(info);
      plugin.infoName = name;
      break;
    }
  }
  return 0;
}

bool UnderEmulator() {
  // qemu's user-mode emulator, registered for 32-bit programs, runs the
  // same code about ten times slower and reports faults differently.
  static int known = -1;
  if (known < 0) {
    char text[16] = {};
    HANDLE file =
        CreateFileA("Z:\\proc\\sys\\fs\\binfmt_misc\\qemu-i386", GENERIC_READ,
                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD got = 0;
    if (file != INVALID_HANDLE_VALUE) {
      ReadFile(file, text, sizeof text - 1, &got, nullptr);
      CloseHandle(file);
    }
    known = strncmp(text, "enabled", 7) == 0;
  }
  return known == 1;
}

unsigned DefaultCallLimitSeconds() { return UnderEmulator() ? 100 : 10; }

void UnloadPluginModule(PluginModule &plugin) {
  if (plugin.module) FreeLibrary(plugin.module);
  plugin = PluginModule();
}

const IMAGE_NT_HEADERS *ModuleHeaders(HMODULE module) {
  const BYTE *base = reinterpret_cast<const BYTE *>(module);
  const IMAGE_DOS_HEADER *dos =
      reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
}

bool AddressInModule(HMODULE module, const void *address) {
  if (!module) return false;
  const BYTE *base = reinterpret_cast<const BYTE *>(module);
  const BYTE *at = static_cast<const BYTE *>(address);
  return at >= base &&
         at < base + ModuleHeaders(module)->OptionalHeader.SizeOfImage;
}

MemoryRange ModuleImage(HMODULE module) {
  return {reinterpret_cast<unsigned char *>(module),
          ModuleHeaders(module)->OptionalHeader.SizeOfImage};
}

int WritableSections(HMODULE module, MemoryRange *ranges, int capacity) {
  const IMAGE_NT_HEADERS *nt = ModuleHeaders(module);
  const IMAGE_SECTION_HEADER *section = IMAGE_FIRST_SECTION(nt);
  int count = 0;
  for (int i = 0; i < nt->FileHeader.NumberOfSections && count < capacity;
       ++i, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_MEM_WRITE)) continue;
    ranges[count].start =
        reinterpret_cast<unsigned char *>(module) + section->VirtualAddress;
    ranges[count].size = section->Misc.VirtualSize;
    ++count;
  }
  return count;
}
