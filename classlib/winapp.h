// The application object of a regular DLL: one static instance per module, whose start-up
// and exit steps run from the DLL's attach and detach processing (classlib/dllmain.cpp).
#pragma once

#include <windows.h>

class CWinApp
{
public:
    explicit CWinApp(LPCSTR appName = NULL);
    virtual ~CWinApp();

    // Start-up step, run when the module is attached to a process. FALSE refuses the load.
    virtual BOOL InitInstance();
    // Exit step, run when the module is detached from the process.
    virtual int ExitInstance();

    HINSTANCE m_hInstance;
    LPCSTR m_pszAppName;
    LPSTR m_lpCmdLine;

private:
    CWinApp(const CWinApp&);
    CWinApp& operator=(const CWinApp&);
};

// The module's application object, or NULL when none was constructed.
CWinApp* AfxGetApp();

// The module that holds this code and its resources (the DLL, or the test program that links it).
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// OLE support for a module that lives inside a host process: OLE initialisation is the host's
// business, so this makes no OleInitialize/CoInitialize call.
void AfxOleInitModule();

// Support for OLE controls in dialogs.
void AfxEnableControlContainer();

// Attach and detach processing; called from the module's DllMain.
BOOL AfxDllProcessAttach(HINSTANCE instance);
void AfxDllProcessDetach();
