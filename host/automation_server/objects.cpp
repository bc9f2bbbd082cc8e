#include "host/automation_server/objects.h"

#include <new>

ServerSettings g_settings;

// A method of the client's object model that the test server does not serve; declared so that
// the slots after it line up.
#define TB_PLACEHOLDER(name) \
    STDMETHODIMP name() { return E_NOTIMPL; }

std::string Utf8FromBstr(BSTR text)
{
    if (text == NULL || SysStringLen(text) == 0)
    {
        return std::string();
    }
    int length = static_cast<int>(SysStringLen(text));
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, NULL, 0, NULL, NULL);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &out[0], size, NULL, NULL);
    return out;
}

BSTR BstrFromUtf8(const std::string& text)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), NULL, 0);
    BSTR out = SysAllocStringLen(NULL, static_cast<UINT>(length));
    if (out != NULL && length > 0)
    {
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out, length);
    }
    return out;
}

HRESULT LoadServerTypeInfo(REFIID iid, ITypeInfo** info)
{
    *info = NULL;
    WCHAR path[MAX_PATH];
    if (GetModuleFileNameW(NULL, path, MAX_PATH) == 0)
    {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    ITypeLib* library = NULL;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &library);
    if (FAILED(hr))
    {
        return hr;
    }
    hr = library->GetTypeInfoOfGuid(iid, info);
    library->Release();
    return hr;
}

namespace
{

// The scripted failure of a method, read from the mailbox afresh so tests can change it.
bool ScriptedFailure(const char* method, HRESULT* result)
{
    Mailbox box;
    std::string error;
    return box.Load(g_settings.mailboxPath, &error) && box.FindFailure(method, result);
}

// IUnknown and IDispatch of a dual interface, dispatching through its type information.
template <class Interface>
class DualObject : public Interface
{
public:
    DualObject(const IID& iid) : m_iid(iid), m_refs(1), m_typeInfo(NULL) { CoAddRefServerProcess(); }

    virtual ~DualObject()
    {
        if (m_typeInfo != NULL)
        {
            m_typeInfo->Release();
        }
        if (CoReleaseServerProcess() == 0)
        {
            // The last object is gone: the message loop ends the server.
            PostQuitMessage(0);
        }
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object)
    {
        if (object == NULL)
        {
            return E_POINTER;
        }
        *object = NULL;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_iid))
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

    STDMETHODIMP GetTypeInfoCount(UINT* count)
    {
        *count = 1;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info)
    {
        *info = NULL;
        if (index != 0)
        {
            return DISP_E_BADINDEX;
        }
        HRESULT hr = TypeInfo();
        if (SUCCEEDED(hr))
        {
            m_typeInfo->AddRef();
            *info = m_typeInfo;
        }
        return hr;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids)
    {
        HRESULT hr = TypeInfo();
        return FAILED(hr) ? hr : DispGetIDsOfNames(m_typeInfo, names, count, ids);
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argError)
    {
        HRESULT hr = TypeInfo();
        return FAILED(hr) ? hr : DispInvoke(static_cast<Interface*>(this), m_typeInfo, id, flags, params,
                                            result, exception, argError);
    }

private:
    HRESULT TypeInfo()
    {
        return m_typeInfo != NULL ? S_OK : LoadServerTypeInfo(m_iid, &m_typeInfo);
    }

    IID m_iid;
    LONG m_refs;
    ITypeInfo* m_typeInfo;
};

// The user properties of one item as the server holds them between lookup and Save.
struct ItemState
{
    std::string entryId;
    std::vector<MailboxUserProperty> properties;

    MailboxUserProperty* Find(const std::string& name)
    {
        for (size_t i = 0; i < properties.size(); ++i)
        {
            if (lstrcmpiA(properties[i].name.c_str(), name.c_str()) == 0)
            {
                return &properties[i];
            }
        }
        return NULL;
    }
};

class UserPropertyObject : public DualObject<UserProperty>
{
public:
    UserPropertyObject(const std::shared_ptr<ItemState>& item, const std::string& name)
        : DualObject<UserProperty>(IID_UserProperty), m_item(item), m_name(name) {}

    TB_PLACEHOLDER(placeholder_get_Application)
    TB_PLACEHOLDER(placeholder_get_Class)
    TB_PLACEHOLDER(placeholder_get_Session)
    TB_PLACEHOLDER(placeholder_get_Parent)
    TB_PLACEHOLDER(placeholder_get_Formula)
    TB_PLACEHOLDER(placeholder_put_Formula)
    TB_PLACEHOLDER(placeholder_get_Name)
    TB_PLACEHOLDER(placeholder_get_Type)
    TB_PLACEHOLDER(placeholder_get_ValidationFormula)
    TB_PLACEHOLDER(placeholder_put_ValidationFormula)
    TB_PLACEHOLDER(placeholder_get_ValidationText)
    TB_PLACEHOLDER(placeholder_put_ValidationText)

    STDMETHODIMP get_Value(VARIANT* value)
    {
        if (value == NULL)
        {
            return E_POINTER;
        }
        VariantInit(value);
        MailboxUserProperty* property = m_item->Find(m_name);
        BSTR text = BstrFromUtf8(property != NULL ? property->value : std::string());
        if (text == NULL)
        {
            return E_OUTOFMEMORY;
        }
        V_VT(value) = VT_BSTR;
        V_BSTR(value) = text;
        return S_OK;
    }

    STDMETHODIMP put_Value(VARIANT value)
    {
        VARIANT text;
        VariantInit(&text);
        HRESULT hr = VariantChangeType(&text, &value, 0, VT_BSTR);
        if (FAILED(hr))
        {
            return hr;
        }
        MailboxUserProperty* property = m_item->Find(m_name);
        if (property == NULL)
        {
            MailboxUserProperty added = {m_name, std::string()};
            m_item->properties.push_back(added);
            property = &m_item->properties.back();
        }
        property->value = Utf8FromBstr(V_BSTR(&text));
        VariantClear(&text);
        return S_OK;
    }

private:
    std::shared_ptr<ItemState> m_item;
    std::string m_name;
};

class UserPropertiesObject : public DualObject<UserProperties>
{
public:
    explicit UserPropertiesObject(const std::shared_ptr<ItemState>& item)
        : DualObject<UserProperties>(IID_UserProperties), m_item(item) {}

    TB_PLACEHOLDER(placeholder_get_Application)
    TB_PLACEHOLDER(placeholder_get_Class)
    TB_PLACEHOLDER(placeholder_get_Session)
    TB_PLACEHOLDER(placeholder_get_Parent)
    TB_PLACEHOLDER(placeholder_get_Count)
    TB_PLACEHOLDER(placeholder_Item)

    STDMETHODIMP Add(BSTR name, OlUserPropertyType, VARIANT, VARIANT, UserProperty** property)
    {
        if (property == NULL)
        {
            return E_POINTER;
        }
        *property = NULL;
        HRESULT failure;
        if (ScriptedFailure("Add", &failure))
        {
            return failure;
        }
        std::string key = Utf8FromBstr(name);
        if (key.empty())
        {
            return E_INVALIDARG;
        }
        if (m_item->Find(key) == NULL)
        {
            MailboxUserProperty added = {key, std::string()};
            m_item->properties.push_back(added);
        }
        return NewProperty(key, property);
    }

    STDMETHODIMP Find(BSTR name, VARIANT, UserProperty** property)
    {
        if (property == NULL)
        {
            return E_POINTER;
        }
        *property = NULL;
        HRESULT failure;
        if (ScriptedFailure("Find", &failure))
        {
            return failure;
        }
        std::string key = Utf8FromBstr(name);
        // Not there: success with no property, as the client's object model answers.
        return m_item->Find(key) == NULL ? S_OK : NewProperty(key, property);
    }

private:
    HRESULT NewProperty(const std::string& name, UserProperty** property)
    {
        UserPropertyObject* created = new (std::nothrow) UserPropertyObject(m_item, name);
        if (created == NULL)
        {
            return E_OUTOFMEMORY;
        }
        *property = created;
        return S_OK;
    }

    std::shared_ptr<ItemState> m_item;
};

class MailItemObject : public DualObject<_MailItem>
{
public:
    explicit MailItemObject(const std::shared_ptr<ItemState>& item)
        : DualObject<_MailItem>(IID__MailItem), m_item(item) {}

    TB_PLACEHOLDER(placeholder_get_Application)
    TB_PLACEHOLDER(placeholder_get_Class)
    TB_PLACEHOLDER(placeholder_get_Session)
    TB_PLACEHOLDER(placeholder_get_Parent)
    TB_PLACEHOLDER(placeholder_get_Actions)
    TB_PLACEHOLDER(placeholder_get_Attachments)
    TB_PLACEHOLDER(placeholder_get_BillingInformation)
    TB_PLACEHOLDER(placeholder_put_BillingInformation)
    TB_PLACEHOLDER(placeholder_get_Body)
    TB_PLACEHOLDER(placeholder_put_Body)
    TB_PLACEHOLDER(placeholder_get_Categories)
    TB_PLACEHOLDER(placeholder_put_Categories)
    TB_PLACEHOLDER(placeholder_get_Companies)
    TB_PLACEHOLDER(placeholder_put_Companies)
    TB_PLACEHOLDER(placeholder_get_ConversationIndex)
    TB_PLACEHOLDER(placeholder_get_ConversationTopic)
    TB_PLACEHOLDER(placeholder_get_CreationTime)
    TB_PLACEHOLDER(placeholder_get_EntryID)
    TB_PLACEHOLDER(placeholder_get_FormDescription)
    TB_PLACEHOLDER(placeholder_get_GetInspector)
    TB_PLACEHOLDER(placeholder_get_Importance)
    TB_PLACEHOLDER(placeholder_put_Importance)
    TB_PLACEHOLDER(placeholder_get_LastModificationTime)
    TB_PLACEHOLDER(placeholder_get_MAPIOBJECT)
    TB_PLACEHOLDER(placeholder_get_MessageClass)
    TB_PLACEHOLDER(placeholder_put_MessageClass)
    TB_PLACEHOLDER(placeholder_get_Mileage)
    TB_PLACEHOLDER(placeholder_put_Mileage)
    TB_PLACEHOLDER(placeholder_get_NoAging)
    TB_PLACEHOLDER(placeholder_put_NoAging)
    TB_PLACEHOLDER(placeholder_get_OutlookInternalVersion)
    TB_PLACEHOLDER(placeholder_get_OutlookVersion)
    TB_PLACEHOLDER(placeholder_get_Saved)
    TB_PLACEHOLDER(placeholder_get_Sensitivity)
    TB_PLACEHOLDER(placeholder_put_Sensitivity)
    TB_PLACEHOLDER(placeholder_get_Size)
    TB_PLACEHOLDER(placeholder_get_Subject)
    TB_PLACEHOLDER(placeholder_put_Subject)
    TB_PLACEHOLDER(placeholder_get_UnRead)
    TB_PLACEHOLDER(placeholder_put_UnRead)
    TB_PLACEHOLDER(placeholder_Close)
    TB_PLACEHOLDER(placeholder_Copy)
    TB_PLACEHOLDER(placeholder_Delete)
    TB_PLACEHOLDER(placeholder_Display)
    TB_PLACEHOLDER(placeholder_Move)
    TB_PLACEHOLDER(placeholder_PrintOut)

    STDMETHODIMP get_UserProperties(UserProperties** properties)
    {
        if (properties == NULL)
        {
            return E_POINTER;
        }
        *properties = new (std::nothrow) UserPropertiesObject(m_item);
        return *properties != NULL ? S_OK : E_OUTOFMEMORY;
    }

    // Writes the item's user properties back into the mailbox file.
    STDMETHODIMP Save()
    {
        HRESULT failure;
        if (ScriptedFailure("Save", &failure))
        {
            return failure;
        }
        Mailbox box;
        std::string error;
        if (!box.Load(g_settings.mailboxPath, &error))
        {
            return STG_E_FILENOTFOUND;
        }
        MailboxMessage* message = box.FindMessage(m_item->entryId);
        if (message == NULL)
        {
            return static_cast<HRESULT>(0x8004010F);
        }
        message->userProperties = m_item->properties;
        return box.Save(g_settings.mailboxPath, &error) ? S_OK : STG_E_WRITEFAULT;
    }

private:
    std::shared_ptr<ItemState> m_item;
};

// An item that is not a mail item (a meeting request, say): it answers IDispatch only.
class OtherItemObject : public IDispatch
{
public:
    OtherItemObject() : m_refs(1) { CoAddRefServerProcess(); }
    virtual ~OtherItemObject()
    {
        if (CoReleaseServerProcess() == 0)
        {
            PostQuitMessage(0);
        }
    }

    STDMETHODIMP QueryInterface(REFIID iid, void** object)
    {
        if (object == NULL)
        {
            return E_POINTER;
        }
        *object = NULL;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch))
        {
            *object = static_cast<IDispatch*>(this);
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
    STDMETHODIMP GetTypeInfoCount(UINT* count)
    {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info)
    {
        *info = NULL;
        return DISP_E_BADINDEX;
    }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return DISP_E_UNKNOWNNAME; }
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
    {
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    LONG m_refs;
};

class NameSpaceObject : public DualObject<_NameSpace>
{
public:
    NameSpaceObject() : DualObject<_NameSpace>(IID__NameSpace) {}

    TB_PLACEHOLDER(placeholder_get_Application)
    TB_PLACEHOLDER(placeholder_get_Class)
    TB_PLACEHOLDER(placeholder_get_Session)
    TB_PLACEHOLDER(placeholder_get_Parent)
    TB_PLACEHOLDER(placeholder_get_CurrentUser)
    TB_PLACEHOLDER(placeholder_get_Folders)
    TB_PLACEHOLDER(placeholder_get_Type)
    TB_PLACEHOLDER(placeholder_get_AddressLists)
    TB_PLACEHOLDER(placeholder_CreateRecipient)
    TB_PLACEHOLDER(placeholder_GetDefaultFolder)
    TB_PLACEHOLDER(placeholder_GetFolderFromID)

    // Finds the message by the hexadecimal text of its entry identifier and, when given, of its
    // store's; an unknown identifier fails as the client's object model does.
    STDMETHODIMP GetItemFromID(BSTR entryIdItem, VARIANT entryIdStore, IDispatch** item)
    {
        if (item == NULL)
        {
            return E_POINTER;
        }
        *item = NULL;
        Mailbox box;
        std::string error;
        if (!box.Load(g_settings.mailboxPath, &error))
        {
            return STG_E_FILENOTFOUND;
        }
        HRESULT failure;
        if (box.FindFailure("GetItemFromID", &failure))
        {
            return failure;
        }
        const HRESULT notFound = static_cast<HRESULT>(0x8004010F);
        const MailboxMessage* message = box.FindMessage(Utf8FromBstr(entryIdItem));
        if (message == NULL)
        {
            return notFound;
        }
        if (V_VT(&entryIdStore) == VT_BSTR && !SameEntryId(message->storeId, Utf8FromBstr(V_BSTR(&entryIdStore))))
        {
            return notFound;
        }
        if (!message->isMail)
        {
            *item = new (std::nothrow) OtherItemObject();
            return *item != NULL ? S_OK : E_OUTOFMEMORY;
        }
        std::shared_ptr<ItemState> state;
        try
        {
            state = std::make_shared<ItemState>();
            state->entryId = message->entryId;
            state->properties = message->userProperties;
        }
        catch (const std::bad_alloc&)
        {
            return E_OUTOFMEMORY;
        }
        MailItemObject* mail = new (std::nothrow) MailItemObject(state);
        if (mail == NULL)
        {
            return E_OUTOFMEMORY;
        }
        *item = mail;
        return S_OK;
    }
};

class ApplicationObject : public DualObject<_Application>
{
public:
    ApplicationObject() : DualObject<_Application>(IID__Application) {}

    TB_PLACEHOLDER(placeholder_get_Application)
    TB_PLACEHOLDER(placeholder_get_Class)
    TB_PLACEHOLDER(placeholder_get_Session)
    TB_PLACEHOLDER(placeholder_get_Parent)
    TB_PLACEHOLDER(placeholder_get_Assistant)
    TB_PLACEHOLDER(placeholder_get_Name)
    TB_PLACEHOLDER(placeholder_get_Version)
    TB_PLACEHOLDER(placeholder_ActiveExplorer)
    TB_PLACEHOLDER(placeholder_ActiveInspector)
    TB_PLACEHOLDER(placeholder_CreateItem)
    TB_PLACEHOLDER(placeholder_CreateItemFromTemplate)
    TB_PLACEHOLDER(placeholder_CreateObject)

    STDMETHODIMP GetNamespace(BSTR type, _NameSpace** nameSpace)
    {
        if (nameSpace == NULL)
        {
            return E_POINTER;
        }
        *nameSpace = NULL;
        HRESULT failure;
        if (ScriptedFailure("GetNamespace", &failure))
        {
            return failure;
        }
        if (Utf8FromBstr(type) != "MAPI")
        {
            return E_INVALIDARG;
        }
        *nameSpace = new (std::nothrow) NameSpaceObject();
        return *nameSpace != NULL ? S_OK : E_OUTOFMEMORY;
    }
};

} // namespace

HRESULT CreateApplication(REFIID iid, void** object)
{
    *object = NULL;
    ApplicationObject* application = new (std::nothrow) ApplicationObject();
    if (application == NULL)
    {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = application->QueryInterface(iid, object);
    application->Release();
    return hr;
}
