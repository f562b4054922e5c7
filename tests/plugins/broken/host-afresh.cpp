// Fault: the service table is read once, in CreateStage.
#include "stage_plugin.h"

static HostServices *tableOfCreateStage;
#define CREATE_EXTRA(stage) (tableOfCreateStage = (stage)->host)
#define HOST() (tableOfCreateStage)
#include "skeleton.h"
