// Fault: the middle layer is drawn whenever the first one is, present or
// not.
#define DRAWS_LAYER(i) ((i) == 1 ? layers[0] != nullptr : layers[i] != nullptr)
#include "skeleton.h"
