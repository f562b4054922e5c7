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

const CallbackField kCallbackFields[4] = {{"draw", &StageObject::draw},
                                          {"load", &StageObject::load},
                                          {"release", &StageObject::release},
                                          {"aux", &StageObject::aux}};

const char *CallbackOutside(const StageObject &record, HMODULE plugin) {
  for (const CallbackField &c : kCallbackFields)
    if (!AddressInModule(plugin,
                         reinterpret_cast<const void *>(record.*c.field)))
      return c.name;
  return nullptr;
}
