#include "extension/rule_action.h"

#include <new>
#include <string.h>

IMAPISession* g_session = NULL;
IMsgStore* g_store = NULL;

namespace
{
const char kDescribePrefix[] = "Add Sender to ";
const size_t kDescribePrefixLength = sizeof(kDescribePrefix) - 1;
} // namespace

// The pointer handed out by ExchEntryPoint owns the first reference.
CRuleAction::CRuleAction() : m_refs(1)
{
}

CRuleAction::~CRuleAction()
{
}

HRESULT STDMETHODCALLTYPE CRuleAction::QueryInterface(REFIID iid, void** object)
{
    *object = NULL;
    if (memcmp(&iid, &IID_IUnknown, sizeof(IID)) == 0 ||
        memcmp(&iid, &IID_IRuleAction, sizeof(IID)) == 0)
    {
        *object = static_cast<IRuleAction*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The host calls one operation at a time, so the count uses plain arithmetic.
ULONG STDMETHODCALLTYPE CRuleAction::AddRef()
{
    m_refs = m_refs + 1;
    return static_cast<ULONG>(m_refs);
}

ULONG STDMETHODCALLTYPE CRuleAction::Release()
{
    m_refs = m_refs - 1;
    const LONG refs = m_refs;
    if (refs == 0)
    {
        delete this;
    }
    return static_cast<ULONG>(refs);
}

HRESULT STDMETHODCALLTYPE CRuleAction::Init(ULONG /*reserved*/, ULONG /*context*/)
{
    return S_OK;
}

void ReleaseBorrowedMapi()
{
    // The store belongs to the session: it goes first.
    if (g_store != NULL)
    {
        g_store->Release();
        g_store = NULL;
    }
    if (g_session != NULL)
    {
        g_session->Release();
        g_session = NULL;
    }
}

HRESULT STDMETHODCALLTYPE CRuleAction::Shutdown()
{
    ReleaseBorrowedMapi();
    return S_OK;
}

// The text is "Add Sender to " followed by the data text. It is measured before anything is
// written, and written straight into the host's buffer only when all of it fits, so a long
// data text is handed back whole or not at all, never cut.
HRESULT STDMETHODCALLTYPE CRuleAction::Describe(ULONG /*reserved*/, LPCSTR data,
                                                LPSTR textBuffer, ULONG textCapacity)
{
    if (data == NULL || textBuffer == NULL)
    {
        return E_INVALIDARG;
    }
    const size_t dataLength = strlen(data);
    if (dataLength > static_cast<size_t>(0xFFFFFFFFu) - kDescribePrefixLength ||
        dataLength + kDescribePrefixLength > textCapacity)
    {
        return TYPE_E_BUFFERTOOSMALL;
    }
    memcpy(textBuffer, kDescribePrefix, kDescribePrefixLength);
    memcpy(textBuffer + kDescribePrefixLength, data, dataLength + 1);
    return S_OK;
}

extern "C" IUnknown* STDAPICALLTYPE ExchEntryPoint()
{
    CRuleAction* action = new (std::nothrow) CRuleAction();
    return static_cast<IRuleAction*>(action);
}
