// Fault: draw narrows every surface it draws to 640 pixels, in the
// host's own Surface record.
#define DRAWS_LAYER(i) (layers[i] != nullptr && (layers[i]->width = 640.0f) > 0)

#include "skeleton.h"
