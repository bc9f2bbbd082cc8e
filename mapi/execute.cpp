#include "extension/rule_action.h"

#include <new>

#include "mapi/mapi_defs.h"
#include "extension/trace.h"
#include "tagging/com_support.h"
#include "tagging/tag_message.h"

namespace
{
// Tagging reports automation failures as exceptions; none may reach the host. The failing
// HRESULT is what the host gets, so a rule that could not tag never reports success.
HRESULT TagCaught(IMAPIProp* message, LPCSTR name)
{
    try
    {
        TagMessage(message, name);
        return S_OK;
    }
    catch (const _com_error& error)
    {
        return FAILED(error.Error()) ? error.Error() : E_FAIL;
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}
} // namespace

HRESULT STDMETHODCALLTYPE CRuleAction::Execute(IRuleActionSite* site, LPCSTR data,
                                               ULONG entryIdSize, LPENTRYID entryId)
{
    if (data == NULL || entryId == NULL)
    {
        DebugTrace("Invalid Parameter passed to Command\n");
        return E_INVALIDARG;
    }

    IMessage* message = NULL;
    bool mapiInitialized = false;
    HRESULT hr = site->GetSession(&g_session);
    if (FAILED(hr))
    {
        DebugTrace("GetSession Failed!\n");
    }
    else if (FAILED(hr = MAPIInitialize(NULL)))
    {
        DebugTrace("MAPIInitialize() Failed!\n");
    }
    else
    {
        mapiInitialized = true;
        hr = GetDefaultStore(g_session, &g_store);
        if (FAILED(hr))
        {
            DebugTrace("GetDefaultStore() Failed!\n");
        }
        else
        {
            ULONG objectType = 0;
            hr = g_store->OpenEntry(entryIdSize, entryId, NULL, MAPI_BEST_ACCESS, &objectType,
                                    reinterpret_cast<LPUNKNOWN*>(&message));
            if (FAILED(hr))
            {
                DebugTrace("Open entry on message failed\n");
            }
            else if (message != NULL)
            {
                // Committing is best effort: tagging goes on whatever it says.
                message->SaveChanges(KEEP_OPEN_READWRITE);
                const HRESULT tagged = TagCaught(message, data);
                if (FAILED(tagged))
                {
                    hr = tagged;
                }
            }
        }
    }

    // Everything obtained goes back in one place: message, store, session, then MAPI itself.
    if (message != NULL)
    {
        message->Release();
        message = NULL;
    }
    ReleaseBorrowedMapi();
    if (mapiInitialized)
    {
        MAPIUninitialize();
    }
    return hr;
}
