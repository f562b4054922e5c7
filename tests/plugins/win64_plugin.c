/* A stage plug-in built for 64-bit Windows: it exports CreateStage like
   any plug-in, but a 32-bit host cannot load it, and stagecheck must say
   so in its row and go on with the other DLLs. */
__declspec(dllexport) int CreateStage(void *stage) { return stage != 0; }
