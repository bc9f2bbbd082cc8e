// Scripted counting fakes of the mail client's object model, built on the module's own
// declarations: every table entry exists (unexpected ones answer E_NOTIMPL), the entries the
// module calls log their arguments into a CallLog, answer the HRESULT a test sets (optionally
// with error information set through SetErrorInfo), and hand out what the test gives them with
// a reference of their own. Each fake can answer ISupportErrorInfo and refuse an interface.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/counting.h"
#include "tagging/outlook_om.h"

std::string NarrowOf(const wchar_t* text); // CP_ACP, as the module converts
std::string DescribeVariant(const VARIANT& value);

// Sets the thread's error information with the description and returns hr.
HRESULT FailWithErrorInfo(HRESULT hr, const wchar_t* description);

// A scripted outcome of one call.
struct CallScript
{
    CallScript() : result(S_OK), description(NULL) {}
    HRESULT Answer() const
    {
        return FAILED(result) && description != NULL ? FailWithErrorInfo(result, description)
                                                     : result;
    }
    HRESULT result;
    const wchar_t* description; // error information set with a failing result
};

class OmIdentity
{
public:
    OmIdentity(CallLog* log, const std::string& name, const IID& own);

    HRESULT Query(REFIID iid, void** out, IDispatch* self, ISupportErrorInfo* errorInfo);
    HRESULT SupportsErrorInfo(REFIID iid);
    void Refuse(const IID& iid, HRESULT hr) { m_refusals.push_back(std::make_pair(iid, hr)); }

    RefCounter counter;
    CallLog* log;
    std::string name;
    bool answersErrorInfo;               // answers QueryInterface for ISupportErrorInfo
    HRESULT interfaceSupportsErrorInfo;  // what InterfaceSupportsErrorInfo answers for own IID

private:
    IID m_own;
    std::vector<std::pair<IID, HRESULT> > m_refusals;
};

#define TB_OM_STUB_ENTRY(name, params)                                                          \
    HRESULT STDMETHODCALLTYPE name params { return E_NOTIMPL; }

// Every entry of each interface, answering E_NOTIMPL; the fakes override what they script.
#define TB_OM_STUB_CLASS(Stub, Interface, entries)                                              \
    struct Stub : public Interface                                                              \
    {                                                                                           \
        entries(TB_OM_STUB_ENTRY)                                                               \
    };
TB_OM_STUB_CLASS(ApplicationStub, _Application, TB_APPLICATION_ENTRIES)
TB_OM_STUB_CLASS(NameSpaceStub, _NameSpace, TB_NAMESPACE_ENTRIES)
TB_OM_STUB_CLASS(MailItemStub, _MailItem, TB_MAILITEM_ENTRIES)
TB_OM_STUB_CLASS(UserPropertiesStub, UserProperties, TB_USERPROPERTIES_ENTRIES)
TB_OM_STUB_CLASS(UserPropertyStub, UserProperty, TB_USERPROPERTY_ENTRIES)

#define TB_OM_FAKE_BODY(Interface)                                                              \
    STDMETHOD(QueryInterface)(REFIID iid, void** out)                                           \
    {                                                                                           \
        return identity.Query(iid, out, static_cast<Interface*>(this),                          \
                              static_cast<ISupportErrorInfo*>(this));                           \
    }                                                                                           \
    STDMETHOD_(ULONG, AddRef)() { return identity.counter.AddRef(); }                           \
    STDMETHOD_(ULONG, Release)() { return identity.counter.Release(); }                         \
    STDMETHOD(InterfaceSupportsErrorInfo)(REFIID iid) { return identity.SupportsErrorInfo(iid); } \
    STDMETHOD(GetTypeInfoCount)(UINT* count) { return E_NOTIMPL; }                              \
    STDMETHOD(GetTypeInfo)(UINT index, LCID lcid, ITypeInfo** info) { return E_NOTIMPL; }       \
    STDMETHOD(GetIDsOfNames)(REFIID iid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids)   \
    {                                                                                           \
        identity.log->Add(identity.name + ".GetIDsOfNames");                                    \
        return E_NOTIMPL;                                                                       \
    }                                                                                           \
    STDMETHOD(Invoke)(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params,         \
                      VARIANT* result, EXCEPINFO* exception, UINT* argError)                    \
    {                                                                                           \
        identity.log->Add(identity.name + ".Invoke");                                           \
        return E_NOTIMPL;                                                                       \
    }                                                                                           \
    IDispatch* AsDispatch() { return static_cast<Interface*>(this); }                           \
    LONG refs() const { return identity.counter.refs(); }                                       \
    OmIdentity identity;

class FakeUserProperty : public UserPropertyStub, public ISupportErrorInfo
{
public:
    explicit FakeUserProperty(CallLog* log, const char* name = "property");
    virtual ~FakeUserProperty();
    TB_OM_FAKE_BODY(UserProperty)

    STDMETHOD(get_Value)(VARIANT* value);
    STDMETHOD(put_Value)(VARIANT value);

    VARIANT value;          // what get_Value delivers (copied) and put_Value stores
    bool delivers;          // get_Value fills the VARIANT at all
    CallScript getValue;
    CallScript putValue;
    std::wstring lastPut;   // the text of the last VT_BSTR written
};

class FakeUserProperties : public UserPropertiesStub, public ISupportErrorInfo
{
public:
    explicit FakeUserProperties(CallLog* log, const char* name = "properties");
    TB_OM_FAKE_BODY(UserProperties)

    STDMETHOD(Add)(BSTR name, OlUserPropertyType type, VARIANT addToFolderFields,
                   VARIANT displayFormat, UserProperty** property);
    STDMETHOD(Find)(BSTR name, VARIANT custom, UserProperty** property);

    UserProperty* existing;  // what Find hands out; null: no such property
    UserProperty* added;     // what Add hands out; it then counts as existing
    CallScript find;
    CallScript add;
};

class FakeMailItem : public MailItemStub, public ISupportErrorInfo
{
public:
    explicit FakeMailItem(CallLog* log, const char* name = "item");
    TB_OM_FAKE_BODY(_MailItem)

    STDMETHOD(get_UserProperties)(UserProperties** properties);
    STDMETHOD(Save)();

    UserProperties* properties;
    CallScript getUserProperties;
    CallScript save;
};

class FakeNameSpace : public NameSpaceStub, public ISupportErrorInfo
{
public:
    explicit FakeNameSpace(CallLog* log, const char* name = "namespace");
    TB_OM_FAKE_BODY(_NameSpace)

    STDMETHOD(GetItemFromID)(BSTR entryIdItem, VARIANT entryIdStore, IDispatch** item);

    IDispatch* item;
    CallScript getItemFromId;
};

class FakeApplication : public ApplicationStub, public ISupportErrorInfo
{
public:
    explicit FakeApplication(CallLog* log, const char* name = "application");
    TB_OM_FAKE_BODY(_Application)

    STDMETHOD(GetNamespace)(BSTR type, _NameSpace** nameSpace);

    _NameSpace* nameSpace;
    CallScript getNamespace;
};

// The whole chain a message is tagged through, wired together: application → namespace →
// item → properties → the "Group" property (present or not).
struct OmWorld
{
    explicit OmWorld(CallLog* log);

    // Every reference handed out came back: each fake holds only the test's own one.
    bool AllReleased() const;
    // The "Group" property exists with this value.
    void SetStored(const VARIANT& stored);
    void SetStoredText(const wchar_t* text);

    FakeApplication application;
    FakeNameSpace nameSpace;
    FakeMailItem item;
    FakeUserProperties properties;
    FakeUserProperty property;
    FakeUserProperty created;
};

// A class object whose CreateInstance answers with a given object, for activating
// "Outlook.Application" in the test process.
class FakeClassFactory : public IClassFactory
{
public:
    explicit FakeClassFactory(CallLog* log);

    STDMETHOD(QueryInterface)(REFIID iid, void** out);
    STDMETHOD_(ULONG, AddRef)() { return counter.AddRef(); }
    STDMETHOD_(ULONG, Release)() { return counter.Release(); }
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID iid, void** out);
    STDMETHOD(LockServer)(BOOL lock) { return S_OK; }

    RefCounter counter;
    CallLog* log;
    IUnknown* object;        // answered for the asked interface; null: no object
    HRESULT createResult;    // returned as it is, success codes other than S_OK included
};
