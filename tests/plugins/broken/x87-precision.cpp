// Fault: a quad value computed on the x87 unit (this source is built with
// -mfpmath=387), at whatever precision the host left it.
static volatile double tiny = 1e-8;
#define ADJUST_QUAD(quad, surface) \
  ((quad).y1 = float((double((surface)->width) * tiny + 1.0) - 1.0) * 1e5f)
#include "skeleton.h"
