/* A stage plug-in as a 64-bit DLL: what an author gets from a 64-bit
   compiler. Hosts of 32-bit plug-ins must say so rather than "error 193".
   Built by the x86-64 mingw-w64 compiler, without the interface header
   (which refuses to compile for anything but 32-bit x86). */
__declspec(dllexport) int CreateStage(void *stage) { return stage != 0; }
