// Fault: release passes every layer, absent ones as null.
#define RELEASES_LAYER(i) true
#include "skeleton.h"
