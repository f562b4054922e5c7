// Fault: only the first CreateStage's record is kept.
#define STORE_STAGE(stage) \
  (currentStage ? currentStage : (currentStage = (stage)))
#include "skeleton.h"
