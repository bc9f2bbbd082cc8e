// The rules engine's site object, handed to Configure and Execute: the host's window and its
// MAPI session.
#pragma once

#include "extension/rule_action_iface.h"

class HostSite : public IRuleActionSite
{
public:
    // The site takes a reference on the session and gives it back when destroyed.
    HostSite(HWND window, IMAPISession* session);
    virtual ~HostSite();

    // Scripted answers for tests: a failure code instead of the window or the session.
    void FailGetWindow(HRESULT result) { m_windowFailure = result; }
    void FailGetSession(HRESULT result) { m_sessionFailure = result; }
    LONG getSessionCalls() const { return m_getSessionCalls; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object);
    STDMETHODIMP_(ULONG) AddRef();
    STDMETHODIMP_(ULONG) Release();

    STDMETHODIMP GetVersion(ULONG* version, ULONG flags);
    STDMETHODIMP GetWindow(HWND* window);
    // Hands out one reference of the session, which the caller gives back.
    STDMETHODIMP GetSession(IMAPISession** session);

private:
    HostSite(const HostSite&);
    HostSite& operator=(const HostSite&);

    LONG m_refs;
    HWND m_window;
    IMAPISession* m_session;
    HRESULT m_windowFailure;
    HRESULT m_sessionFailure;
    LONG m_getSessionCalls;
};
