// Entry processing of a regular DLL built on the class library. Static objects (the
// application object among them) are constructed by the C runtime before this runs.
#include "classlib/winapp.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/)
{
    switch (reason)
    {
    case DLL_PROCESS_ATTACH:
        return AfxDllProcessAttach(instance);
    case DLL_PROCESS_DETACH:
        AfxDllProcessDetach();
        break;
    default:
        // Thread attach and detach: the class library keeps no per-thread state.
        break;
    }
    return TRUE;
}
