#include "host/rules_host/host_site.h"

HostSite::HostSite(HWND window, IMAPISession* session)
    : m_refs(1), m_window(window), m_session(session), m_windowFailure(S_OK), m_sessionFailure(S_OK),
      m_getSessionCalls(0)
{
    if (m_session != NULL)
    {
        m_session->AddRef();
    }
}

HostSite::~HostSite()
{
    if (m_session != NULL)
    {
        m_session->Release();
    }
}

STDMETHODIMP HostSite::QueryInterface(REFIID iid, void** object)
{
    if (object == NULL)
    {
        return E_POINTER;
    }
    *object = NULL;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRuleActionSite))
    {
        *object = static_cast<IRuleActionSite*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

// The site lives as long as the host; the count only keeps COM's rules.
STDMETHODIMP_(ULONG) HostSite::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_refs));
}

STDMETHODIMP_(ULONG) HostSite::Release()
{
    return static_cast<ULONG>(InterlockedDecrement(&m_refs));
}

STDMETHODIMP HostSite::GetVersion(ULONG* version, ULONG)
{
    if (version == NULL)
    {
        return E_POINTER;
    }
    *version = 1;
    return S_OK;
}

STDMETHODIMP HostSite::GetWindow(HWND* window)
{
    if (window == NULL)
    {
        return E_POINTER;
    }
    if (FAILED(m_windowFailure))
    {
        return m_windowFailure;
    }
    *window = m_window;
    return S_OK;
}

STDMETHODIMP HostSite::GetSession(IMAPISession** session)
{
    InterlockedIncrement(&m_getSessionCalls);
    if (session == NULL)
    {
        return E_POINTER;
    }
    if (FAILED(m_sessionFailure))
    {
        return m_sessionFailure;
    }
    if (m_session == NULL)
    {
        return MAPI_E_NOT_INITIALIZED;
    }
    m_session->AddRef();
    *session = m_session;
    return S_OK;
}
