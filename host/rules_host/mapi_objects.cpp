#include "host/rules_host/mapi_objects.h"

#include <string.h>
#include <new>
#include <vector>

#include "host/mailbox/mailbox.h"
#include "host/rules_host/mapi_library.h"

namespace
{

LONG g_live = 0;
MapiCallCounts g_counts = {0, 0, 0};

#define TB_HOST_UNSUPPORTED { return MAPI_E_NO_SUPPORT; }

// One property as the host's objects hold it before handing out MAPI's form.
struct HostProp
{
    ULONG tag;
    std::vector<BYTE> bytes; // PT_BINARY
    std::string text;        // PT_STRING8
    LONG number;             // PT_LONG, PT_BOOLEAN
};

HostProp BinaryProp(ULONG tag, const std::string& hex)
{
    HostProp prop = {tag, std::vector<BYTE>(), std::string(), 0};
    HexToBytes(hex, &prop.bytes);
    return prop;
}

HostProp TextProp(ULONG tag, const std::string& text)
{
    HostProp prop = {tag, std::vector<BYTE>(), text, 0};
    return prop;
}

HostProp NumberProp(ULONG tag, LONG number)
{
    HostProp prop = {tag, std::vector<BYTE>(), std::string(), number};
    return prop;
}

const HostProp* FindProp(const std::vector<HostProp>& props, ULONG tag)
{
    for (size_t i = 0; i < props.size(); ++i)
    {
        if (props[i].tag == tag)
        {
            return &props[i];
        }
    }
    return NULL;
}

// Fills one SPropValue; binary data and text go into "more" blocks of the root allocation.
// A missing property becomes PT_ERROR / MAPI_E_NOT_FOUND, as MAPI reports it.
bool FillValue(const std::vector<HostProp>& props, ULONG tag, LPVOID root, SPropValue* value, bool* missing)
{
    const MapiLibrary& mapi = MapiLibrary::Instance();
    memset(value, 0, sizeof(*value));
    const HostProp* prop = FindProp(props, tag);
    if (prop == NULL)
    {
        value->ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
        value->Value.err = MAPI_E_NOT_FOUND;
        *missing = true;
        return true;
    }
    value->ulPropTag = tag;
    switch (PROP_TYPE(tag))
    {
    case PT_BINARY:
    {
        LPVOID data = NULL;
        if (FAILED(mapi.AllocateMore(static_cast<ULONG>(prop->bytes.size()) + 1, root, &data)))
        {
            return false;
        }
        if (!prop->bytes.empty())
        {
            memcpy(data, &prop->bytes[0], prop->bytes.size());
        }
        value->Value.bin.cb = static_cast<ULONG>(prop->bytes.size());
        value->Value.bin.lpb = static_cast<LPBYTE>(data);
        return true;
    }
    case PT_STRING8:
    {
        LPVOID data = NULL;
        if (FAILED(mapi.AllocateMore(static_cast<ULONG>(prop->text.size()) + 1, root, &data)))
        {
            return false;
        }
        memcpy(data, prop->text.c_str(), prop->text.size() + 1);
        value->Value.lpszA = static_cast<LPSTR>(data);
        return true;
    }
    case PT_BOOLEAN:
        value->Value.b = static_cast<unsigned short>(prop->number != 0);
        return true;
    default:
        value->Value.l = prop->number;
        return true;
    }
}

// A new root allocation holding the wanted properties (all of them when wanted is null).
HRESULT CopyHostProps(const std::vector<HostProp>& props, LPSPropTagArray wanted, ULONG* count, LPSPropValue* values)
{
    *count = 0;
    *values = NULL;
    std::vector<ULONG> tags;
    if (wanted != NULL)
    {
        tags.assign(wanted->aulPropTag, wanted->aulPropTag + wanted->cValues);
    }
    else
    {
        for (size_t i = 0; i < props.size(); ++i)
        {
            tags.push_back(props[i].tag);
        }
    }
    const MapiLibrary& mapi = MapiLibrary::Instance();
    LPVOID root = NULL;
    ULONG size = static_cast<ULONG>((tags.empty() ? 1 : tags.size()) * sizeof(SPropValue));
    if (FAILED(mapi.AllocateBuffer(size, &root)))
    {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    LPSPropValue out = static_cast<LPSPropValue>(root);
    bool missing = false;
    for (size_t i = 0; i < tags.size(); ++i)
    {
        if (!FillValue(props, tags[i], root, &out[i], &missing))
        {
            mapi.FreeBuffer(root);
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
    }
    *count = static_cast<ULONG>(tags.size());
    *values = out;
    return missing ? MAPI_W_ERRORS_RETURNED : S_OK;
}

bool PropMatches(const HostProp* prop, const SPropValue* wanted, ULONG relop, bool* supported)
{
    int order = 0;
    bool present = prop != NULL;
    if (present)
    {
        switch (PROP_TYPE(wanted->ulPropTag))
        {
        case PT_BOOLEAN:
            order = (prop->number != 0) - (wanted->Value.b != 0);
            break;
        case PT_LONG:
            order = prop->number < wanted->Value.l ? -1 : prop->number > wanted->Value.l ? 1 : 0;
            break;
        case PT_BINARY:
        {
            std::vector<BYTE> other(wanted->Value.bin.lpb, wanted->Value.bin.lpb + wanted->Value.bin.cb);
            order = prop->bytes < other ? -1 : prop->bytes > other ? 1 : 0;
            break;
        }
        case PT_STRING8:
            order = strcmp(prop->text.c_str(), wanted->Value.lpszA != NULL ? wanted->Value.lpszA : "");
            break;
        default:
            *supported = false;
            return false;
        }
    }
    // A row without the property matches no comparison, as in MAPI.
    switch (relop)
    {
    case RELOP_EQ: return present && order == 0;
    case RELOP_NE: return present && order != 0;
    case RELOP_LT: return present && order < 0;
    case RELOP_LE: return present && order <= 0;
    case RELOP_GT: return present && order > 0;
    case RELOP_GE: return present && order >= 0;
    default: *supported = false; return false;
    }
}

bool RowMatches(const std::vector<HostProp>& row, const SRestriction* restriction, bool* supported)
{
    switch (restriction->rt)
    {
    case RES_PROPERTY:
    {
        const SPropertyRestriction& res = restriction->res.resProperty;
        if (res.lpProp == NULL)
        {
            *supported = false;
            return false;
        }
        return PropMatches(FindProp(row, res.ulPropTag), res.lpProp, res.relop, supported);
    }
    case RES_AND:
        for (ULONG i = 0; i < restriction->res.resAnd.cRes; ++i)
        {
            if (!RowMatches(row, &restriction->res.resAnd.lpRes[i], supported))
            {
                return false;
            }
        }
        return true;
    case RES_OR:
        for (ULONG i = 0; i < restriction->res.resOr.cRes; ++i)
        {
            if (RowMatches(row, &restriction->res.resOr.lpRes[i], supported))
            {
                return true;
            }
        }
        return false;
    case RES_NOT:
        return !RowMatches(row, restriction->res.resNot.lpRes, supported);
    case RES_EXIST:
        return FindProp(row, restriction->res.resExist.ulPropTag) != NULL;
    default:
        *supported = false;
        return false;
    }
}

bool ScriptedFailure(const std::string& mailboxPath, const char* method, HRESULT* result)
{
    Mailbox box;
    std::string error;
    return box.Load(mailboxPath, &error) && box.FindFailure(method, result);
}

std::vector<HostProp> StoreProps(const MailboxStore& store)
{
    std::vector<HostProp> props;
    props.push_back(BinaryProp(PR_ENTRYID, store.entryId));
    props.push_back(TextProp(PR_DISPLAY_NAME_A, store.name));
    props.push_back(NumberProp(PR_DEFAULT_STORE, store.isDefault ? 1 : 0));
    return props;
}

class LiveCount
{
public:
    LiveCount() { InterlockedIncrement(&g_live); }
    ~LiveCount() { InterlockedDecrement(&g_live); }
};

template <class Interface>
class HostObject : public Interface
{
public:
    HostObject(const IID& iid) : m_iid(iid), m_refs(1) {}
    virtual ~HostObject() {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object)
    {
        if (object == NULL)
        {
            return E_POINTER;
        }
        *object = NULL;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, m_iid))
        {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release()
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
        {
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

private:
    IID m_iid;
    LONG m_refs;
    LiveCount m_live;
};

class TableBase : public HostObject<IMAPITable>
{
public:
    TableBase() : HostObject<IMAPITable>(IID_IMAPITable) {}
    MAPI_IMAPITABLE_METHODS(TB_HOST_UNSUPPORTED)
};

// The message-store table: one row per store of the mailbox.
class StoreTable : public TableBase
{
public:
    explicit StoreTable(const Mailbox& box) : m_position(0)
    {
        for (size_t i = 0; i < box.stores.size(); ++i)
        {
            m_rows.push_back(StoreProps(box.stores[i]));
            m_visible.push_back(i);
        }
        m_columns.push_back(PR_ENTRYID);
        m_columns.push_back(PR_DISPLAY_NAME_A);
        m_columns.push_back(PR_DEFAULT_STORE);
    }

    STDMETHODIMP SetColumns(LPSPropTagArray columns, ULONG)
    {
        if (columns == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        m_columns.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
        return S_OK;
    }

    STDMETHODIMP GetRowCount(ULONG, ULONG* count)
    {
        *count = static_cast<ULONG>(m_visible.size());
        return S_OK;
    }

    STDMETHODIMP Restrict(LPSRestriction restriction, ULONG)
    {
        std::vector<size_t> visible;
        for (size_t i = 0; i < m_rows.size(); ++i)
        {
            bool supported = true;
            if (restriction == NULL || RowMatches(m_rows[i], restriction, &supported))
            {
                visible.push_back(i);
            }
            if (!supported)
            {
                return MAPI_E_TOO_COMPLEX;
            }
        }
        m_visible = visible;
        m_position = 0;
        return S_OK;
    }

    // The stores keep their order; a sort is accepted and changes nothing.
    STDMETHODIMP SortTable(LPSSortOrderSet, ULONG) { return S_OK; }

    STDMETHODIMP SeekRow(BOOKMARK origin, LONG count, LONG* sought)
    {
        LONG start;
        if (origin == BOOKMARK_BEGINNING)
        {
            start = 0;
        }
        else if (origin == BOOKMARK_CURRENT)
        {
            start = static_cast<LONG>(m_position);
        }
        else if (origin == BOOKMARK_END)
        {
            start = static_cast<LONG>(m_visible.size());
        }
        else
        {
            return MAPI_E_INVALID_BOOKMARK;
        }
        LONG target = start + count;
        if (target < 0)
        {
            target = 0;
        }
        if (target > static_cast<LONG>(m_visible.size()))
        {
            target = static_cast<LONG>(m_visible.size());
        }
        m_position = static_cast<size_t>(target);
        if (sought != NULL)
        {
            *sought = target - start;
        }
        return S_OK;
    }

    STDMETHODIMP QueryRows(LONG count, ULONG, LPSRowSet* rows)
    {
        if (rows == NULL || count < 0)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        *rows = NULL;
        const MapiLibrary& mapi = MapiLibrary::Instance();
        size_t available = m_visible.size() - m_position;
        size_t taken = static_cast<size_t>(count) < available ? static_cast<size_t>(count) : available;
        LPVOID block = NULL;
        if (FAILED(mapi.AllocateBuffer(static_cast<ULONG>(CbNewSRowSet(taken == 0 ? 1 : taken)), &block)))
        {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        LPSRowSet set = static_cast<LPSRowSet>(block);
        set->cRows = 0;
        SPropTagArray* columns = NULL;
        std::vector<BYTE> columnBytes(CbNewSPropTagArray(m_columns.size() == 0 ? 1 : m_columns.size()));
        columns = reinterpret_cast<SPropTagArray*>(&columnBytes[0]);
        columns->cValues = static_cast<ULONG>(m_columns.size());
        for (size_t i = 0; i < m_columns.size(); ++i)
        {
            columns->aulPropTag[i] = m_columns[i];
        }
        // Each row's values are a root allocation of their own: FreeProws frees them one by one.
        for (size_t i = 0; i < taken; ++i)
        {
            ULONG values = 0;
            LPSPropValue props = NULL;
            HRESULT hr = CopyHostProps(m_rows[m_visible[m_position + i]], columns, &values, &props);
            if (FAILED(hr))
            {
                for (ULONG j = 0; j < set->cRows; ++j)
                {
                    mapi.FreeBuffer(set->aRow[j].lpProps);
                }
                mapi.FreeBuffer(set);
                return hr;
            }
            set->aRow[i].ulAdrEntryPad = 0;
            set->aRow[i].cValues = values;
            set->aRow[i].lpProps = props;
            set->cRows = static_cast<ULONG>(i + 1);
        }
        m_position += taken;
        *rows = set;
        return S_OK;
    }

private:
    std::vector<std::vector<HostProp> > m_rows;
    std::vector<size_t> m_visible;
    std::vector<ULONG> m_columns;
    size_t m_position;
};

class MessageBase : public HostObject<IMessage>
{
public:
    MessageBase() : HostObject<IMessage>(IID_IMessage) {}
    MAPI_IMAPIPROP_METHODS(TB_HOST_UNSUPPORTED)
    MAPI_IMESSAGE_METHODS(TB_HOST_UNSUPPORTED)
};

class MessageObject : public MessageBase
{
public:
    MessageObject(const std::string& mailboxPath, const MailboxMessage& message) : m_mailboxPath(mailboxPath)
    {
        m_props.push_back(BinaryProp(PR_ENTRYID, message.entryId));
        m_props.push_back(BinaryProp(PR_STORE_ENTRYID, message.storeId));
        m_props.push_back(TextProp(PR_SUBJECT_A, message.subject));
        m_props.push_back(TextProp(PR_MESSAGE_CLASS_A, message.isMail ? "IPM.Note" : "IPM.Schedule.Meeting.Request"));
    }

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values)
    {
        if (count == NULL || values == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        return CopyHostProps(m_props, tags, count, values);
    }

    // Nothing of the message changes through MAPI here, so there is nothing to write.
    STDMETHODIMP SaveChanges(ULONG)
    {
        InterlockedIncrement(&g_counts.saveChanges);
        HRESULT failure;
        return ScriptedFailure(m_mailboxPath, "SaveChanges", &failure) ? failure : S_OK;
    }

private:
    std::string m_mailboxPath;
    std::vector<HostProp> m_props;
};

class StoreBase : public HostObject<IMsgStore>
{
public:
    StoreBase() : HostObject<IMsgStore>(IID_IMsgStore) {}
    MAPI_IMAPIPROP_METHODS(TB_HOST_UNSUPPORTED)
    MAPI_IMSGSTORE_METHODS(TB_HOST_UNSUPPORTED)
};

class StoreObject : public StoreBase
{
public:
    StoreObject(const std::string& mailboxPath, const MailboxStore& store)
        : m_mailboxPath(mailboxPath), m_entryId(store.entryId), m_props(StoreProps(store)) {}

    STDMETHODIMP GetProps(LPSPropTagArray tags, ULONG, ULONG* count, LPSPropValue* values)
    {
        if (count == NULL || values == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        return CopyHostProps(m_props, tags, count, values);
    }

    // Opens a message of this store by its entry identifier.
    STDMETHODIMP OpenEntry(ULONG size, LPENTRYID entryId, LPCIID, ULONG, ULONG* type, LPUNKNOWN* object)
    {
        InterlockedIncrement(&g_counts.openEntry);
        if (object == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        *object = NULL;
        Mailbox box;
        std::string error;
        if (!box.Load(m_mailboxPath, &error))
        {
            return MAPI_E_CORRUPT_STORE;
        }
        HRESULT failure;
        if (box.FindFailure("OpenEntry", &failure))
        {
            return failure;
        }
        if (entryId == NULL || size == 0)
        {
            return MAPI_E_INVALID_ENTRYID;
        }
        const MailboxMessage* message = box.FindMessage(BytesToHex(reinterpret_cast<const BYTE*>(entryId), size));
        if (message == NULL || !SameEntryId(message->storeId, m_entryId))
        {
            return MAPI_E_NOT_FOUND;
        }
        MessageObject* opened = new (std::nothrow) MessageObject(m_mailboxPath, *message);
        if (opened == NULL)
        {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        if (type != NULL)
        {
            *type = MAPI_MESSAGE;
        }
        *object = static_cast<IMessage*>(opened);
        return S_OK;
    }

private:
    std::string m_mailboxPath;
    std::string m_entryId;
    std::vector<HostProp> m_props;
};

class SessionBase : public HostObject<IMAPISession>
{
public:
    SessionBase() : HostObject<IMAPISession>(IID_IMAPISession) {}
    MAPI_IMAPISESSION_METHODS(TB_HOST_UNSUPPORTED)
};

class SessionObject : public SessionBase
{
public:
    explicit SessionObject(const std::string& mailboxPath) : m_mailboxPath(mailboxPath) {}

    STDMETHODIMP GetMsgStoresTable(ULONG, LPMAPITABLE* table)
    {
        if (table == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        *table = NULL;
        Mailbox box;
        std::string error;
        if (!box.Load(m_mailboxPath, &error))
        {
            return MAPI_E_CORRUPT_STORE;
        }
        HRESULT failure;
        if (box.FindFailure("GetMsgStoresTable", &failure))
        {
            return failure;
        }
        StoreTable* created = new (std::nothrow) StoreTable(box);
        if (created == NULL)
        {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        *table = created;
        return S_OK;
    }

    STDMETHODIMP OpenMsgStore(ULONG_PTR, ULONG size, LPENTRYID entryId, LPCIID, ULONG, LPMDB* store)
    {
        InterlockedIncrement(&g_counts.openMsgStore);
        if (store == NULL)
        {
            return MAPI_E_INVALID_PARAMETER;
        }
        *store = NULL;
        Mailbox box;
        std::string error;
        if (!box.Load(m_mailboxPath, &error))
        {
            return MAPI_E_CORRUPT_STORE;
        }
        HRESULT failure;
        if (box.FindFailure("OpenMsgStore", &failure))
        {
            return failure;
        }
        if (entryId == NULL || size == 0)
        {
            return MAPI_E_INVALID_ENTRYID;
        }
        const MailboxStore* found = box.FindStore(BytesToHex(reinterpret_cast<const BYTE*>(entryId), size));
        if (found == NULL)
        {
            return MAPI_E_NOT_FOUND;
        }
        StoreObject* opened = new (std::nothrow) StoreObject(m_mailboxPath, *found);
        if (opened == NULL)
        {
            return MAPI_E_NOT_ENOUGH_MEMORY;
        }
        *store = opened;
        return S_OK;
    }

private:
    std::string m_mailboxPath;
};

} // namespace

HRESULT CreateMailboxSession(const std::string& mailboxPath, IMAPISession** session)
{
    *session = new (std::nothrow) SessionObject(mailboxPath);
    return *session != NULL ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

LONG LiveMapiObjects()
{
    return g_live;
}

MapiCallCounts GetMapiCallCounts()
{
    return g_counts;
}
