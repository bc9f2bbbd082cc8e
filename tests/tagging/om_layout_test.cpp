// The object-model methods the module calls sit in the client's table slots: each is called
// here through the raw table entry at the client's slot number and must reach that method.
#include <gtest/gtest.h>

#include "support/om_fakes.h"

namespace
{
void** TableOf(void* object)
{
    return *static_cast<void***>(object);
}

template <class Fn> Fn Slot(void* object, int index)
{
    return reinterpret_cast<Fn>(TableOf(object)[index]);
}

VARIANT Empty()
{
    VARIANT v;
    VariantInit(&v);
    return v;
}
} // namespace

TEST(ObjectModelLayoutTest, EachCalledMethodSitsInTheClientsSlot)
{
    CallLog log;
    OmWorld world(&log);
    BSTR name = SysAllocString(L"Group");

    _Application* application = &world.application;
    typedef HRESULT(STDMETHODCALLTYPE * GetNamespaceFn)(void*, BSTR, _NameSpace**);
    _NameSpace* nameSpace = NULL;
    Slot<GetNamespaceFn>(application, 19)(application, name, &nameSpace);

    _NameSpace* ns = &world.nameSpace;
    typedef HRESULT(STDMETHODCALLTYPE * GetItemFromIdFn)(void*, BSTR, VARIANT, IDispatch**);
    IDispatch* item = NULL;
    Slot<GetItemFromIdFn>(ns, 18)(ns, name, Empty(), &item);

    _MailItem* mail = &world.item;
    typedef HRESULT(STDMETHODCALLTYPE * GetUserPropertiesFn)(void*, UserProperties**);
    UserProperties* properties = NULL;
    Slot<GetUserPropertiesFn>(mail, 47)(mail, &properties);
    typedef HRESULT(STDMETHODCALLTYPE * SaveFn)(void*);
    Slot<SaveFn>(mail, 54)(mail);

    UserProperties* props = &world.properties;
    typedef HRESULT(STDMETHODCALLTYPE * AddFn)(void*, BSTR, OlUserPropertyType, VARIANT, VARIANT,
                                               UserProperty**);
    UserProperty* added = NULL;
    Slot<AddFn>(props, 13)(props, name, olText, Empty(), Empty(), &added);
    typedef HRESULT(STDMETHODCALLTYPE * FindFn)(void*, BSTR, VARIANT, UserProperty**);
    UserProperty* found = NULL;
    Slot<FindFn>(props, 14)(props, name, Empty(), &found);

    UserProperty* property = &world.property;
    typedef HRESULT(STDMETHODCALLTYPE * GetValueFn)(void*, VARIANT*);
    VARIANT value = Empty();
    Slot<GetValueFn>(property, 19)(property, &value);
    typedef HRESULT(STDMETHODCALLTYPE * PutValueFn)(void*, VARIANT);
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = name;
    Slot<PutValueFn>(property, 20)(property, text);

    std::vector<std::string> calls;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        if (log.entries()[i].find(".AddRef") == std::string::npos)
        {
            calls.push_back(log.entries()[i]);
        }
    }
    EXPECT_EQ((std::vector<std::string>{"application.GetNamespace(Group)",
                                        "namespace.GetItemFromID(Group,vt=0:)",
                                        "item.get_UserProperties", "item.Save",
                                        "properties.Add(Group,1,vt=0:,vt=0:)",
                                        "properties.Find(Group,vt=0:)",
                                        "property.get_Value(vt=0:)", "property.put_Value(vt=8:Group)"}),
              calls);

    VariantClear(&value);
    SysFreeString(name);
    nameSpace->Release();
    item->Release();
    properties->Release();
    added->Release();
    found->Release();
    EXPECT_TRUE(world.AllReleased());
}
