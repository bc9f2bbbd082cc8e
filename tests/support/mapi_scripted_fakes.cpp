#include "support/mapi_scripted_fakes.h"

#include <stdio.h>
#include <string.h>

#include <mapiutil.h>

std::string HexOf(const void* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    const BYTE* p = static_cast<const BYTE*>(bytes);
    for (size_t i = 0; i < count; ++i)
    {
        text += digits[p[i] >> 4];
        text += digits[p[i] & 0xF];
    }
    return text;
}

std::string HexOf(const std::vector<BYTE>& bytes)
{
    return bytes.empty() ? std::string() : HexOf(&bytes[0], bytes.size());
}

namespace
{
std::string Num(unsigned long value, bool hex = false)
{
    char text[32];
    sprintf(text, hex ? "0x%lX" : "%lu", value);
    return text;
}

// A property value block with room for the bytes, as one MAPI allocation chain.
HRESULT NewBinaryValue(ULONG tag, const std::vector<BYTE>& bytes, LPSPropValue value,
                       void* root)
{
    value->ulPropTag = tag;
    value->dwAlignPad = 0;
    value->Value.bin.cb = static_cast<ULONG>(bytes.size());
    value->Value.bin.lpb = NULL;
    if (!bytes.empty())
    {
        HRESULT hr = MAPIAllocateMore(static_cast<ULONG>(bytes.size()), root,
                                      reinterpret_cast<LPVOID*>(&value->Value.bin.lpb));
        if (FAILED(hr))
        {
            return hr;
        }
        memcpy(value->Value.bin.lpb, &bytes[0], bytes.size());
    }
    return S_OK;
}
} // namespace

FakeSite::FakeSite(CallLog* log_)
    : counter(log_, "site"), log(log_), getSessionResult(S_OK), session(NULL),
      sessionEvenOnFailure(false), window(NULL)
{
}

STDMETHODIMP FakeSite::QueryInterface(REFIID iid, void** object)
{
    log->Add("site.QueryInterface");
    *object = NULL;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IRuleActionSite))
    {
        *object = static_cast<IRuleActionSite*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP FakeSite::GetVersion(ULONG* version, ULONG flags)
{
    log->Add("site.GetVersion");
    return E_NOTIMPL;
}

STDMETHODIMP FakeSite::GetWindow(HWND* out)
{
    log->Add("site.GetWindow");
    *out = window;
    return S_OK;
}

STDMETHODIMP FakeSite::GetSession(IMAPISession** out)
{
    log->Add("site.GetSession");
    if (session != NULL && (SUCCEEDED(getSessionResult) || sessionEvenOnFailure))
    {
        session->AddRef();
        *out = session;
    }
    return getSessionResult;
}

FakeTable::FakeTable(CallLog* log_, const char* name) : counter(log_, name)
{
}

FakeStoreTable::FakeStoreTable(CallLog* log_)
    : FakeTable(log_), log(log_), setColumnsResult(S_OK), restrictResult(S_OK),
      queryRowsResult(S_OK), queryRowsFailOnCall(0), m_queryRowsCalls(0), m_position(0)
{
}

void FakeStoreTable::AddStore(const std::vector<BYTE>& entryId, bool isDefault)
{
    Row row;
    row.entryId = entryId;
    row.isDefault = isDefault;
    rows.push_back(row);
}

STDMETHODIMP FakeStoreTable::SetColumns(LPSPropTagArray columns, ULONG flags)
{
    std::string entry = "table.SetColumns(";
    m_columns.clear();
    for (ULONG i = 0; columns != NULL && i < columns->cValues; ++i)
    {
        entry += (i ? "," : "") + Num(columns->aulPropTag[i], true);
        m_columns.push_back(columns->aulPropTag[i]);
    }
    log->Add(entry + ";" + Num(flags) + ")");
    return setColumnsResult;
}

STDMETHODIMP FakeStoreTable::Restrict(LPSRestriction restriction, ULONG flags)
{
    std::string entry = "table.Restrict(";
    m_visible.clear();
    if (restriction != NULL)
    {
        entry += "rt=" + Num(restriction->rt);
        if (restriction->rt == RES_PROPERTY)
        {
            const SPropertyRestriction& p = restriction->res.resProperty;
            entry += " relop=" + Num(p.relop) + " tag=" + Num(p.ulPropTag, true);
            if (p.lpProp != NULL)
            {
                entry += " value=" + Num(p.lpProp->ulPropTag, true) + ":" +
                         (PROP_TYPE(p.lpProp->ulPropTag) == PT_BOOLEAN ? Num(p.lpProp->Value.b)
                                                                       : "?");
            }
        }
    }
    log->Add(entry + ";" + Num(flags) + ")");
    if (FAILED(restrictResult))
    {
        return restrictResult;
    }
    // Equality on the Boolean column, which is all a store search asks; anything else
    // matches nothing, so a wrong restriction finds no store.
    for (size_t i = 0; i < rows.size(); ++i)
    {
        if (restriction != NULL && restriction->rt == RES_PROPERTY &&
            restriction->res.resProperty.relop == RELOP_EQ &&
            restriction->res.resProperty.ulPropTag == PR_DEFAULT_STORE &&
            restriction->res.resProperty.lpProp != NULL &&
            restriction->res.resProperty.lpProp->ulPropTag == PR_DEFAULT_STORE &&
            (restriction->res.resProperty.lpProp->Value.b != 0) == rows[i].isDefault)
        {
            m_visible.push_back(rows[i]);
        }
    }
    return S_OK;
}

STDMETHODIMP FakeStoreTable::SortTable(LPSSortOrderSet sortOrder, ULONG flags)
{
    log->Add("table.SortTable");
    return S_OK;
}

STDMETHODIMP FakeStoreTable::SeekRow(BOOKMARK origin, LONG count, LONG* sought)
{
    log->Add("table.SeekRow(" + Num(origin) + "," + Num(static_cast<unsigned long>(count)) + ")");
    m_position = 0;
    if (sought != NULL)
    {
        *sought = 0;
    }
    return S_OK;
}

STDMETHODIMP FakeStoreTable::QueryRows(LONG count, ULONG flags, LPSRowSet* out)
{
    log->Add("table.QueryRows(" + Num(static_cast<unsigned long>(count)) + ")");
    *out = NULL;
    ++m_queryRowsCalls;
    if (FAILED(queryRowsResult) &&
        (queryRowsFailOnCall == 0 || queryRowsFailOnCall == m_queryRowsCalls))
    {
        return queryRowsResult;
    }
    size_t n = m_visible.size() - m_position;
    if (count >= 0 && n > static_cast<size_t>(count))
    {
        n = static_cast<size_t>(count);
    }
    LPSRowSet set = NULL;
    HRESULT hr = MAPIAllocateBuffer(CbNewSRowSet(n), reinterpret_cast<LPVOID*>(&set));
    if (FAILED(hr))
    {
        return hr;
    }
    set->cRows = 0;
    for (size_t i = 0; i < n; ++i)
    {
        const Row& row = m_visible[m_position + i];
        LPSPropValue props = NULL;
        const ULONG columns = static_cast<ULONG>(m_columns.size());
        MAPIAllocateBuffer(columns * sizeof(SPropValue), reinterpret_cast<LPVOID*>(&props));
        for (ULONG c = 0; c < columns; ++c)
        {
            if (m_columns[c] == PR_ENTRYID)
            {
                NewBinaryValue(PR_ENTRYID, row.entryId, &props[c], props);
            }
            else if (m_columns[c] == PR_DEFAULT_STORE)
            {
                props[c].ulPropTag = PR_DEFAULT_STORE;
                props[c].Value.b = row.isDefault ? TRUE : FALSE;
            }
            else
            {
                props[c].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(m_columns[c]));
                props[c].Value.err = MAPI_E_NOT_FOUND;
            }
        }
        set->aRow[i].ulAdrEntryPad = 0;
        set->aRow[i].cValues = columns;
        set->aRow[i].lpProps = props;
        set->cRows = static_cast<ULONG>(i + 1);
    }
    m_position += n;
    *out = set;
    return S_OK;
}

ScriptedStore::ScriptedStore(CallLog* log_)
    : FakeMsgStore(log_), log(log_), openEntryResult(S_OK), message(NULL),
      messageEvenOnFailure(false)
{
}

STDMETHODIMP ScriptedStore::OpenEntry(ULONG cbEntryID, LPENTRYID entryId, LPCIID iid,
                                      ULONG flags, ULONG* objectType, LPUNKNOWN* object)
{
    log->Add("store.OpenEntry(" + Num(cbEntryID) + "," + HexOf(entryId, cbEntryID) + "," +
             (iid == NULL ? "null" : "iid") + "," + Num(flags, true) + ")");
    if (message != NULL && (SUCCEEDED(openEntryResult) || messageEvenOnFailure))
    {
        message->AddRef();
        *object = message;
        *objectType = MAPI_MESSAGE;
    }
    return openEntryResult;
}

ScriptedSession::ScriptedSession(CallLog* log_)
    : FakeSession(log_), log(log_), getTableResult(S_OK), table(NULL), openStoreResult(S_OK),
      store(NULL), storeEvenOnFailure(false), openStoreWindow(0)
{
}

STDMETHODIMP ScriptedSession::GetMsgStoresTable(ULONG flags, LPMAPITABLE* out)
{
    log->Add("session.GetMsgStoresTable(" + Num(flags) + ")");
    if (table != NULL && SUCCEEDED(getTableResult))
    {
        table->AddRef();
        *out = table;
    }
    return getTableResult;
}

STDMETHODIMP ScriptedSession::OpenMsgStore(ULONG_PTR uiParam, ULONG cbEntryID,
                                           LPENTRYID entryId, LPCIID iid, ULONG flags,
                                           LPMDB* out)
{
    openStoreWindow = uiParam;
    log->Add("session.OpenMsgStore(" + Num(cbEntryID) + "," + HexOf(entryId, cbEntryID) + "," +
             (iid == NULL ? "null" : "iid") + "," + Num(flags, true) + ")");
    if (store != NULL && (SUCCEEDED(openStoreResult) || storeEvenOnFailure))
    {
        store->AddRef();
        *out = store;
    }
    return openStoreResult;
}

FakeMessage::FakeMessage(CallLog* log_, const char* name) : counter(log_, name)
{
}

ScriptedMessage::ScriptedMessage(CallLog* log_)
    : FakeMessage(log_), log(log_), saveChangesResult(S_OK), entryIdMissing(false),
      storeEntryIdMissing(false), getPropsResult(S_OK)
{
}

STDMETHODIMP ScriptedMessage::SaveChanges(ULONG flags)
{
    log->Add("message.SaveChanges(" + Num(flags, true) + ")");
    return saveChangesResult;
}

STDMETHODIMP ScriptedMessage::SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems)
{
    log->Add("message.SetProps");
    return MAPI_E_NO_SUPPORT;
}

STDMETHODIMP ScriptedMessage::GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values)
{
    std::string entry = "message.GetProps(";
    for (ULONG i = 0; tags != NULL && i < tags->cValues; ++i)
    {
        entry += (i ? "," : "") + Num(tags->aulPropTag[i], true);
    }
    log->Add(entry + ")");
    *values = NULL;
    *count = 0;
    if (FAILED(getPropsResult))
    {
        return getPropsResult;
    }
    if (tags == NULL || tags->cValues == 0)
    {
        return MAPI_E_NO_SUPPORT;
    }
    LPSPropValue props = NULL;
    HRESULT hr = MAPIAllocateBuffer(tags->cValues * sizeof(SPropValue),
                                    reinterpret_cast<LPVOID*>(&props));
    if (FAILED(hr))
    {
        return hr;
    }
    bool anyMissing = false;
    for (ULONG i = 0; i < tags->cValues; ++i)
    {
        const ULONG tag = tags->aulPropTag[i];
        const bool missing = tag == PR_ENTRYID       ? entryIdMissing
                             : tag == PR_STORE_ENTRYID ? storeEntryIdMissing
                                                       : true;
        if (missing)
        {
            anyMissing = true;
            props[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
            props[i].Value.err = MAPI_E_NOT_FOUND;
        }
        else
        {
            NewBinaryValue(tag, tag == PR_ENTRYID ? entryId : storeEntryId, &props[i], props);
        }
    }
    *values = props;
    *count = tags->cValues;
    return anyMissing ? MAPI_W_ERRORS_RETURNED : S_OK;
}
