// Fault: the info export is __stdcall (it takes its argument off the
// stack), though exported under its plain name (linked with --kill-at).
#define INFO_CONVENTION __stdcall
#include "skeleton.h"
