#include "plugin_module.h"

#include "wide_text.h"

int LoadPluginModule(const char *path, PluginModule &plugin,
                     std::string &error) {
  plugin = PluginModule();
  HMODULE module = LoadLibraryW(Widen(path).c_str());  // path in UTF-8
  if (!module) {
    error = "cannot load the plug-in " + std::string(path) +
            " (Windows error " + std::to_string(GetLastError()) + ")";
    return kCannotLoadPlugin;
  }
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

void UnloadPluginModule(PluginModule &plugin) {
  if (plugin.module) FreeLibrary(plugin.module);
  plugin = PluginModule();
}

static const IMAGE_NT_HEADERS *Headers(HMODULE module) {
  const BYTE *base = reinterpret_cast<const BYTE *>(module);
  const IMAGE_DOS_HEADER *dos =
      reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
  return reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
}

bool AddressInModule(HMODULE module, const void *address) {
  if (!module) return false;
  const BYTE *base = reinterpret_cast<const BYTE *>(module);
  const BYTE *at = static_cast<const BYTE *>(address);
  return at >= base && at < base + Headers(module)->OptionalHeader.SizeOfImage;
}

MemoryRange ModuleImage(HMODULE module) {
  return {reinterpret_cast<unsigned char *>(module),
          Headers(module)->OptionalHeader.SizeOfImage};
}

int WritableSections(HMODULE module, MemoryRange *ranges, int capacity) {
  const IMAGE_NT_HEADERS *nt = Headers(module);
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
