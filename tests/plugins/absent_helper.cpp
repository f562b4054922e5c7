// A DLL that faulty_plugin_5.dll imports, built into a folder that no
// program of the tests looks in: the plug-in then cannot be loaded, and a
// host should name this DLL as what it needs.
extern "C" __declspec(dllexport) int AbsentHelper() { return 0; }
