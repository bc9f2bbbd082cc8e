#include "classlib/wnd.h"

#include <map>

namespace
{
// Temporary objects by handle. Entries whose window has gone are dropped on the next lookup,
// so the map stays as small as the set of live windows the module has asked about.
typedef std::map<HWND, CWnd*> TempWindowMap;

TempWindowMap& TempWindows()
{
    static TempWindowMap windows;
    return windows;
}

void DropDeadWindows(TempWindowMap& windows)
{
    for (TempWindowMap::iterator it = windows.begin(); it != windows.end();)
    {
        if (!IsWindow(it->first))
        {
            delete it->second;
            windows.erase(it++);
        }
        else
        {
            ++it;
        }
    }
}
} // namespace

CWnd* CWnd::FromHandle(HWND window)
{
    if (window == NULL)
    {
        return NULL;
    }
    TempWindowMap& windows = TempWindows();
    TempWindowMap::iterator found = windows.find(window);
    if (found != windows.end() && IsWindow(window))
    {
        return found->second;
    }
    DropDeadWindows(windows);
    CWnd* object = new CWnd();
    object->m_hWnd = window;
    try
    {
        windows[window] = object;
    }
    catch (...)
    {
        delete object;
        throw;
    }
    return object;
}

void AfxDropDeadTempWindows()
{
    DropDeadWindows(TempWindows());
}

void AfxDeleteTempWindows()
{
    TempWindowMap& windows = TempWindows();
    for (TempWindowMap::iterator it = windows.begin(); it != windows.end(); ++it)
    {
        delete it->second;
    }
    windows.clear();
}
