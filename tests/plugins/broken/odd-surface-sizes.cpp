// Fault: the width divides as an integer (a zero width traps).
static volatile int columns;
#define ADJUST_QUAD(quad, surface) (columns = 1280 / Whole((surface)->width))
#include "skeleton.h"
