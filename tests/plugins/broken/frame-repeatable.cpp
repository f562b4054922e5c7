// Fault: a frame counter kept between frames moves the quads.
static int frameCount;
#define BEFORE_DRAW() ++frameCount
#define ADJUST_QUAD(quad, surface) ((quad).x0 -= 0.001f * float(frameCount))
#include "skeleton.h"
