// A plug-in whose CreateStage is __stdcall, exported by its decorated name
// CreateStage@4 (no .def file): a host looking up "CreateStage" misses it.
#define CREATE_CONVENTION __stdcall
#include "broken/skeleton.h"
