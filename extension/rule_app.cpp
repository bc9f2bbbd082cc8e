// The module's application object. Static initialisation constructs it when the DLL loads.
#include "classlib/winapp.h"

class CRuleApp : public CWinApp
{
public:
    CRuleApp() : CWinApp(NULL) {}

    BOOL InitInstance()
    {
        AfxOleInitModule();
        AfxEnableControlContainer();
        return TRUE;
    }

    int ExitInstance()
    {
        return CWinApp::ExitInstance();
    }
};

CRuleApp theApp;
