// Fault: CreateStage clears the host's drawParam.
#define CREATE_EXTRA(stage) ((stage)->drawParam = 0)
#include "skeleton.h"
