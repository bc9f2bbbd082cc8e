#pragma once

#include "extension/rule_action_iface.h"

// The session and default store that Execute borrows for the length of one call. Shared by
// every rule-action object in the process; the host makes one call at a time.
extern IMAPISession* g_session;
extern IMsgStore* g_store;

// Releases whatever g_store and g_session hold, the store first, and sets both to NULL.
void ReleaseBorrowedMapi();

// The rule-action object handed to the host. It keeps no state besides its reference count.
class CRuleAction final : public IRuleAction
{
public:
    CRuleAction();

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object);
    ULONG STDMETHODCALLTYPE AddRef();
    ULONG STDMETHODCALLTYPE Release();

    // IRuleAction
    HRESULT STDMETHODCALLTYPE Init(ULONG reserved, ULONG context);
    HRESULT STDMETHODCALLTYPE Shutdown();
    HRESULT STDMETHODCALLTYPE Configure(IRuleActionSite* site, LPSTR nameBuffer,
                                        LONG nameCapacity, LPSTR displayBuffer,
                                        LONG displayCapacity);
    HRESULT STDMETHODCALLTYPE Describe(ULONG reserved, LPCSTR data, LPSTR textBuffer,
                                       ULONG textCapacity);
    HRESULT STDMETHODCALLTYPE Execute(IRuleActionSite* site, LPCSTR data, ULONG entryIdSize,
                                      LPENTRYID entryId);

private:
    ~CRuleAction();
    CRuleAction(const CRuleAction&);
    CRuleAction& operator=(const CRuleAction&);

    LONG m_refs;
};

// The module's one export: a new rule-action object whose single reference the caller owns,
// or NULL when it cannot be allocated.
extern "C" IUnknown* STDAPICALLTYPE ExchEntryPoint();
