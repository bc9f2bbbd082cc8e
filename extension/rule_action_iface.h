// The host's rule-action interfaces, declared with the host's binary layout: every method
// __stdcall, the slots in the order the host's rules engine calls them.
#pragma once

#include <windows.h>
#include <mapix.h>

// {00020E11-0000-0000-C000-000000000046}
extern const IID IID_IRuleAction;
// {00020E10-0000-0000-C000-000000000046}
extern const IID IID_IRuleActionSite;

// The host's site object, handed to Configure and Execute. The module calls only GetWindow and
// GetSession, and never adds or releases a reference on it.
struct IRuleActionSite : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE GetVersion(ULONG* version, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) = 0;
    // On success the session carries one reference that the caller owns.
    virtual HRESULT STDMETHODCALLTYPE GetSession(IMAPISession** session) = 0;
};

// Capacities count characters without the terminating zero: the host's buffers hold
// capacity + 1 bytes.
struct IRuleAction : public IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Init(ULONG reserved, ULONG context) = 0;
    virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
    virtual HRESULT STDMETHODCALLTYPE Configure(IRuleActionSite* site, LPSTR nameBuffer,
                                                LONG nameCapacity, LPSTR displayBuffer,
                                                LONG displayCapacity) = 0;
    virtual HRESULT STDMETHODCALLTYPE Describe(ULONG reserved, LPCSTR data, LPSTR textBuffer,
                                               ULONG textCapacity) = 0;
    virtual HRESULT STDMETHODCALLTYPE Execute(IRuleActionSite* site, LPCSTR data,
                                              ULONG entryIdSize, LPENTRYID entryId) = 0;
};
