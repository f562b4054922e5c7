// The service table and the record checks both hosts share.
#include "service_table.h"

#include "plugin_module.h"

HostServices ServiceTable(LoadSurfaceFn load, ReleaseSurfaceFn release,
                          DrawSurfaceFn draw, GetPathFn getPath,
                          void *const reserved[kReservedSlotCount]) {
  HostServices table = {};
  void **slots = reinterpret_cast<void **>(&table);
  for (int i = 0; i < kReservedSlotCount; ++i)
    slots[kReservedSlots[i]] = reserved[i];
  table.LoadSurface = load;
  table.ReleaseSurface = release;
  table.DrawSurface = draw;
  table.GetPath = getPath;
  return table;
}

const char *CallbackOutside(const StageObject &record, HMODULE plugin) {
  const struct {
    const char *name;
    StageCallback callback;
  } callbacks[] = {{"draw", record.draw},
                   {"load", record.load},
                   {"release", record.release},
                   {"aux", record.aux}};
  for (const auto &c : callbacks)
    if (!AddressInModule(plugin, reinterpret_cast<const void *>(c.callback)))
      return c.name;
  return nullptr;
}
