#include "support/om_fakes.h"

#include <stdio.h>

#include "support/fault_injection.h"

std::string NarrowOf(const wchar_t* text)
{
    if (text == NULL)
    {
        return "(null)";
    }
    int length = WideCharToMultiByte(CP_ACP, 0, text, -1, NULL, 0, NULL, NULL);
    if (length <= 0)
    {
        return std::string();
    }
    std::string result(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &result[0], length, NULL, NULL);
    result.resize(static_cast<size_t>(length) - 1);
    return result;
}

std::string DescribeVariant(const VARIANT& value)
{
    char prefix[32];
    sprintf(prefix, "vt=%u:", static_cast<unsigned>(V_VT(&value)));
    switch (V_VT(&value))
    {
    case VT_I4:
        return prefix + std::to_string(static_cast<long>(V_I4(&value)));
    case VT_BSTR:
        return prefix + NarrowOf(V_BSTR(&value));
    default:
        return prefix;
    }
}

HRESULT FailWithErrorInfo(HRESULT hr, const wchar_t* description)
{
    ICreateErrorInfo* create = NULL;
    if (SUCCEEDED(CreateErrorInfo(&create)))
    {
        create->SetDescription(const_cast<LPOLESTR>(description));
        IErrorInfo* info = NULL;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info))))
        {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return hr;
}

namespace
{
const char* NameOfIid(REFIID iid)
{
    if (IsEqualIID(iid, IID__Application)) return "_Application";
    if (IsEqualIID(iid, IID__NameSpace)) return "_NameSpace";
    if (IsEqualIID(iid, IID__MailItem)) return "_MailItem";
    if (IsEqualIID(iid, IID_UserProperties)) return "UserProperties";
    if (IsEqualIID(iid, IID_ISupportErrorInfo)) return "ISupportErrorInfo";
    if (IsEqualIID(iid, IID_IDispatch)) return "IDispatch";
    return NULL;
}

template <class T> void HandOut(T* object, T** out)
{
    if (object != NULL)
    {
        object->AddRef();
        *out = object;
    }
}
} // namespace

OmIdentity::OmIdentity(CallLog* log_, const std::string& name_, const IID& own)
    : counter(log_, name_), log(log_), name(name_), answersErrorInfo(false),
      interfaceSupportsErrorInfo(S_OK), m_own(own)
{
}

HRESULT OmIdentity::Query(REFIID iid, void** out, IDispatch* self, ISupportErrorInfo* errorInfo)
{
    *out = NULL;
    const char* iidName = NameOfIid(iid);
    if (iidName != NULL && !IsEqualIID(iid, IID_IDispatch))
    {
        log->Add(name + ".QueryInterface(" + iidName + ")");
        // "Not there" for an interface is E_NOINTERFACE.
        HRESULT injected;
        if (FaultPoint(name + ".QueryInterface(" + iidName + ")", true, &injected, E_NOINTERFACE))
        {
            return injected;
        }
    }
    for (size_t i = 0; i < m_refusals.size(); ++i)
    {
        if (IsEqualIID(iid, m_refusals[i].first))
        {
            return m_refusals[i].second;
        }
    }
    IUnknown* answer = NULL;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_own))
    {
        answer = self;
    }
    else if (IsEqualIID(iid, IID_ISupportErrorInfo) && answersErrorInfo)
    {
        answer = errorInfo;
    }
    if (answer == NULL)
    {
        return E_NOINTERFACE;
    }
    answer->AddRef();
    *out = answer;
    return S_OK;
}

HRESULT OmIdentity::SupportsErrorInfo(REFIID iid)
{
    const char* iidName = NameOfIid(iid);
    log->Add(name + ".InterfaceSupportsErrorInfo(" + (iidName ? iidName : "?") + ")");
    HRESULT injected;
    if (FaultPoint(name + ".InterfaceSupportsErrorInfo", false, &injected))
    {
        return injected;
    }
    return IsEqualIID(iid, m_own) ? interfaceSupportsErrorInfo : S_FALSE;
}

FakeUserProperty::FakeUserProperty(CallLog* log, const char* name)
    : identity(log, name, GUID_NULL), delivers(true)
{
    VariantInit(&value);
}

FakeUserProperty::~FakeUserProperty()
{
    VariantClear(&value);
}

STDMETHODIMP FakeUserProperty::get_Value(VARIANT* out)
{
    identity.log->Add(identity.name + ".get_Value(" + DescribeVariant(*out) + ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".get_Value", true, &injected))
    {
        return injected;
    }
    if (delivers)
    {
        VariantCopy(out, &value);
    }
    return getValue.Answer();
}

STDMETHODIMP FakeUserProperty::put_Value(VARIANT in)
{
    identity.log->Add(identity.name + ".put_Value(" + DescribeVariant(in) + ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".put_Value", false, &injected))
    {
        return injected;
    }
    if (V_VT(&in) == VT_BSTR)
    {
        lastPut = V_BSTR(&in) == NULL ? std::wstring() : std::wstring(V_BSTR(&in), SysStringLen(V_BSTR(&in)));
    }
    VariantCopy(&value, &in);
    return putValue.Answer();
}

FakeUserProperties::FakeUserProperties(CallLog* log, const char* name)
    : identity(log, name, IID_UserProperties), existing(NULL), added(NULL)
{
}

STDMETHODIMP FakeUserProperties::Find(BSTR name, VARIANT custom, UserProperty** out)
{
    identity.log->Add(identity.name + ".Find(" + NarrowOf(name) + "," + DescribeVariant(custom) + ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".Find", true, &injected))
    {
        return injected;
    }
    if (FAILED(find.result))
    {
        return find.Answer();
    }
    HandOut(existing, out);
    return find.result;
}

STDMETHODIMP FakeUserProperties::Add(BSTR name, OlUserPropertyType type,
                                     VARIANT addToFolderFields, VARIANT displayFormat,
                                     UserProperty** out)
{
    identity.log->Add(identity.name + ".Add(" + NarrowOf(name) + "," +
                      std::to_string(static_cast<int>(type)) + "," +
                      DescribeVariant(addToFolderFields) + "," + DescribeVariant(displayFormat) +
                      ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".Add", true, &injected))
    {
        return injected;
    }
    if (FAILED(add.result))
    {
        return add.Answer();
    }
    HandOut(added, out);
    if (added != NULL)
    {
        existing = added;
    }
    return add.result;
}

FakeMailItem::FakeMailItem(CallLog* log, const char* name)
    : identity(log, name, IID__MailItem), properties(NULL)
{
}

STDMETHODIMP FakeMailItem::get_UserProperties(UserProperties** out)
{
    identity.log->Add(identity.name + ".get_UserProperties");
    HRESULT injected;
    if (FaultPoint(identity.name + ".get_UserProperties", true, &injected))
    {
        return injected;
    }
    HandOut(properties, out);
    return getUserProperties.Answer();
}

STDMETHODIMP FakeMailItem::Save()
{
    identity.log->Add(identity.name + ".Save");
    HRESULT injected;
    if (FaultPoint(identity.name + ".Save", false, &injected))
    {
        return injected;
    }
    return save.Answer();
}

FakeNameSpace::FakeNameSpace(CallLog* log, const char* name)
    : identity(log, name, IID__NameSpace), item(NULL)
{
}

STDMETHODIMP FakeNameSpace::GetItemFromID(BSTR entryIdItem, VARIANT entryIdStore, IDispatch** out)
{
    identity.log->Add(identity.name + ".GetItemFromID(" + NarrowOf(entryIdItem) + "," +
                      DescribeVariant(entryIdStore) + ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".GetItemFromID", true, &injected))
    {
        return injected;
    }
    if (FAILED(getItemFromId.result))
    {
        return getItemFromId.Answer();
    }
    HandOut(item, out);
    return getItemFromId.result;
}

FakeApplication::FakeApplication(CallLog* log, const char* name)
    : identity(log, name, IID__Application), nameSpace(NULL)
{
}

STDMETHODIMP FakeApplication::GetNamespace(BSTR type, _NameSpace** out)
{
    identity.log->Add(identity.name + ".GetNamespace(" + NarrowOf(type) + ")");
    HRESULT injected;
    if (FaultPoint(identity.name + ".GetNamespace", true, &injected))
    {
        return injected;
    }
    if (FAILED(getNamespace.result))
    {
        return getNamespace.Answer();
    }
    HandOut(nameSpace, out);
    return getNamespace.result;
}

OmWorld::OmWorld(CallLog* log)
    : application(log), nameSpace(log), item(log), properties(log), property(log),
      created(log, "created")
{
    application.nameSpace = &nameSpace;
    nameSpace.item = item.AsDispatch();
    item.properties = &properties;
    properties.added = &created;
}

bool OmWorld::AllReleased() const
{
    return application.refs() == 1 && nameSpace.refs() == 1 && item.refs() == 1 &&
           properties.refs() == 1 && property.refs() == 1 && created.refs() == 1;
}

void OmWorld::SetStored(const VARIANT& stored)
{
    VariantCopy(&property.value, const_cast<VARIANT*>(&stored));
    properties.existing = &property;
}

void OmWorld::SetStoredText(const wchar_t* text)
{
    VARIANT stored;
    V_VT(&stored) = VT_BSTR;
    V_BSTR(&stored) = text == NULL ? NULL : SysAllocString(text);
    SetStored(stored);
    VariantClear(&stored);
}

FakeClassFactory::FakeClassFactory(CallLog* log_)
    : counter(NULL, "factory"), log(log_), object(NULL), createResult(S_OK)
{
}

STDMETHODIMP FakeClassFactory::QueryInterface(REFIID iid, void** out)
{
    *out = NULL;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory))
    {
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP FakeClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    log->Add(std::string("factory.CreateInstance(") + (NameOfIid(iid) ? NameOfIid(iid) : "?") + ")");
    *out = NULL;
    HRESULT injected;
    if (FaultPoint("factory.CreateInstance", true, &injected))
    {
        return injected;
    }
    if (object != NULL && SUCCEEDED(createResult))
    {
        object->QueryInterface(iid, out);
    }
    return createResult;
}
