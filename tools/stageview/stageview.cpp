// stageview: a reference game host for stage plug-ins. See --help and
// stage_host.h for what it does and how it maps quads onto the screen.
#include "stageview_main.h"

int main(int argc, char **argv) { return StageviewMain(argc, argv); }
