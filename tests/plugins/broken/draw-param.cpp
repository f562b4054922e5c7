// Fault: drawParam passed on as 16 bits.
#define DRAW_PARAM() (currentStage->drawParam & 0xFFFF)
#include "skeleton.h"
