// The host's side of Configure: a top-level window standing for the host's, and a counting
// site object that hands it out (or fails, as scripted).
#pragma once

#include <string>
#include <windows.h>

#include "extension/rule_action_iface.h"
#include "support/counting.h"

class HostWindow
{
public:
    HostWindow()
    {
        WNDCLASSA windowClass;
        memset(&windowClass, 0, sizeof(windowClass));
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(NULL);
        windowClass.lpszClassName = "TbTestHostWindow";
        RegisterClassA(&windowClass); // a second registration fails harmlessly
        m_window = CreateWindowExA(0, "TbTestHostWindow", "Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   0, 0, 640, 480, NULL, NULL, GetModuleHandleA(NULL), NULL);
    }
    ~HostWindow()
    {
        if (m_window != NULL)
        {
            DestroyWindow(m_window);
        }
    }
    HWND handle() const { return m_window; }

private:
    HostWindow(const HostWindow&);
    HostWindow& operator=(const HostWindow&);
    HWND m_window;
};

class CountingSite : public IRuleActionSite
{
public:
    CountingSite(CallLog* log, HWND window, HRESULT getWindowResult = S_OK)
        : counter(log, "site"), m_log(log), m_window(window), m_result(getWindowResult)
    {
    }
    virtual ~CountingSite() {}

    STDMETHOD(QueryInterface)(REFIID, void** object)
    {
        m_log->Add("site.QueryInterface");
        *object = NULL;
        return E_NOINTERFACE;
    }
    STDMETHOD_(ULONG, AddRef)() { return counter.AddRef(); }
    STDMETHOD_(ULONG, Release)() { return counter.Release(); }
    STDMETHOD(GetVersion)(ULONG*, ULONG)
    {
        m_log->Add("site.GetVersion");
        return E_NOTIMPL;
    }
    STDMETHOD(GetWindow)(HWND* window)
    {
        m_log->Add(*window == NULL ? "site.GetWindow" : "site.GetWindow(not null on entry)");
        if (SUCCEEDED(m_result))
        {
            *window = m_window;
        }
        return m_result;
    }
    STDMETHOD(GetSession)(IMAPISession**)
    {
        m_log->Add("site.GetSession");
        return E_NOTIMPL;
    }

    RefCounter counter;

private:
    CallLog* m_log;
    HWND m_window;
    HRESULT m_result;
};
