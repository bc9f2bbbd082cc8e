#include "classlib/winapp.h"

#include "classlib/wnd.h"

namespace
{
CWinApp* g_app = NULL;
char g_emptyCommandLine[1] = {0};

HINSTANCE ModuleOfThisCode()
{
    HMODULE module = NULL;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&ModuleOfThisCode), &module))
    {
        return NULL;
    }
    return module;
}
} // namespace

CWinApp::CWinApp(LPCSTR appName)
    : m_hInstance(NULL), m_pszAppName(appName), m_lpCmdLine(g_emptyCommandLine)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
    {
        g_app = NULL;
    }
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return 0;
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    if (g_app != NULL && g_app->m_hInstance != NULL)
    {
        return g_app->m_hInstance;
    }
    return ModuleOfThisCode();
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

void AfxOleInitModule()
{
    // Nothing to start: the host owns OLE initialisation on its threads, and COM is
    // initialised per call where the module needs it.
}

void AfxEnableControlContainer()
{
    // Our dialogs hold only standard Win32 controls, so there is no control container to set up.
}

BOOL AfxDllProcessAttach(HINSTANCE instance)
{
    CWinApp* app = AfxGetApp();
    if (app == NULL)
    {
        return TRUE;
    }
    app->m_hInstance = instance;
    app->m_lpCmdLine = g_emptyCommandLine;
    if (!app->InitInstance())
    {
        app->ExitInstance();
        return FALSE;
    }
    return TRUE;
}

void AfxDllProcessDetach()
{
    CWinApp* app = AfxGetApp();
    if (app != NULL)
    {
        app->ExitInstance();
    }
    AfxDeleteTempWindows();
}
