// The automation server on its own: its type library has the client's slot layout, and the
// object model answers across processes through the type-library marshaller.
#include <gtest/gtest.h>

#include <ole2.h>

#include "e2e/e2e_support.h"
#include "object_model.h"

namespace
{

// Slot numbers (vtable index) and DISPIDs of the methods the rule action calls, as the mail
// client lays them out.
struct SlotCase
{
    const IID* iid;
    const wchar_t* name;
    INVOKEKIND kind;
    int slot;
    DISPID dispid;
};

TEST(AutomationServerTypeLibrary, MethodsSitInTheClientsSlots)
{
    const SlotCase cases[] = {
        {&IID__Application, L"GetNamespace", INVOKE_FUNC, 19, 0x110},
        {&IID__NameSpace, L"GetItemFromID", INVOKE_FUNC, 18, 0x2109},
        {&IID__MailItem, L"UserProperties", INVOKE_PROPERTYGET, 47, 0xF816},
        {&IID__MailItem, L"Save", INVOKE_FUNC, 54, 0xF048},
        {&IID_UserProperties, L"Add", INVOKE_FUNC, 13, 0x66},
        {&IID_UserProperties, L"Find", INVOKE_FUNC, 14, 0x67},
        {&IID_UserProperty, L"Value", INVOKE_PROPERTYGET, 19, 0},
        {&IID_UserProperty, L"Value", INVOKE_PROPERTYPUT, 20, 0},
    };
    std::string exe = BesideTest("tb_mailserver.exe");
    std::wstring wideExe(exe.begin(), exe.end());
    ITypeLib* library = NULL;
    ASSERT_EQ(S_OK, LoadTypeLibEx(wideExe.c_str(), REGKIND_NONE, &library));
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const SlotCase& c = cases[i];
        SCOPED_TRACE(testing::Message() << "method " << i);
        ITypeInfo* info = NULL;
        ASSERT_EQ(S_OK, library->GetTypeInfoOfGuid(*c.iid, &info));
        // A dual interface's dispatch type info refers to its vtable interface.
        HREFTYPE vtable = 0;
        ITypeInfo* interfaceInfo = NULL;
        if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable)) &&
            SUCCEEDED(info->GetRefTypeInfo(vtable, &interfaceInfo)))
        {
            info->Release();
            info = interfaceInfo;
        }
        TYPEATTR* attributes = NULL;
        ASSERT_EQ(S_OK, info->GetTypeAttr(&attributes));
        bool found = false;
        for (UINT f = 0; f < attributes->cFuncs && !found; ++f)
        {
            FUNCDESC* function = NULL;
            ASSERT_EQ(S_OK, info->GetFuncDesc(f, &function));
            BSTR name = NULL;
            UINT names = 0;
            info->GetNames(function->memid, &name, 1, &names);
            if (name != NULL && wcscmp(name, c.name) == 0 && function->invkind == c.kind)
            {
                found = true;
                EXPECT_EQ(c.slot, function->oVft / static_cast<int>(sizeof(void*)));
                EXPECT_EQ(c.dispid, function->memid);
                EXPECT_EQ(CC_STDCALL, function->callconv);
            }
            SysFreeString(name);
            info->ReleaseFuncDesc(function);
        }
        EXPECT_TRUE(found);
        info->ReleaseTypeAttr(attributes);
        info->Release();
    }
    library->Release();
}

class AutomationServer : public testing::Test
{
protected:
    void SetUp()
    {
        CoInitialize(NULL);
        m_mailbox = BesideTest("e2e_server_mailbox.txt");
        const char* const groups[] = {NULL, "Personal", "other:"};
        m_box = MailboxWithGroups(groups, 3);
        std::string error;
        ASSERT_TRUE(m_box.Save(m_mailbox, &error)) << error;
        ASSERT_TRUE(RegisterServer(m_mailbox));
    }

    void TearDown()
    {
        CoUninitialize();
        // Every object was given back, so the server has ended by itself.
        EXPECT_EQ(0, EndLeftoverServers());
    }

    HRESULT Activate(_Application** application)
    {
        *application = NULL;
        CLSID clsid;
        HRESULT hr = CLSIDFromProgID(L"Outlook.Application", &clsid);
        IDispatch* dispatch = NULL;
        if (SUCCEEDED(hr))
        {
            hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&dispatch));
        }
        if (SUCCEEDED(hr))
        {
            hr = dispatch->QueryInterface(IID__Application, reinterpret_cast<void**>(application));
            dispatch->Release();
        }
        return hr;
    }

    HRESULT Lookup(_NameSpace* nameSpace, const std::string& item, const std::string& store, IDispatch** found)
    {
        std::wstring wideItem(item.begin(), item.end());
        std::wstring wideStore(store.begin(), store.end());
        BSTR itemText = SysAllocString(wideItem.c_str());
        VARIANT storeText;
        VariantInit(&storeText);
        V_VT(&storeText) = VT_BSTR;
        V_BSTR(&storeText) = SysAllocString(wideStore.c_str());
        HRESULT hr = nameSpace->GetItemFromID(itemText, storeText, found);
        VariantClear(&storeText);
        SysFreeString(itemText);
        return hr;
    }

    std::string m_mailbox;
    Mailbox m_box;
};

TEST_F(AutomationServer, AddsSetsAndSavesAUserPropertyAcrossProcesses)
{
    _Application* application = NULL;
    ASSERT_EQ(S_OK, Activate(&application));
    _NameSpace* nameSpace = NULL;
    BSTR mapi = SysAllocString(L"MAPI");
    ASSERT_EQ(S_OK, application->GetNamespace(mapi, &nameSpace));
    SysFreeString(mapi);
    IDispatch* found = NULL;
    ASSERT_EQ(S_OK, Lookup(nameSpace, MessageId(0), DefaultStoreId(), &found));
    _MailItem* mail = NULL;
    ASSERT_EQ(S_OK, found->QueryInterface(IID__MailItem, reinterpret_cast<void**>(&mail)));
    UserProperties* properties = NULL;
    ASSERT_EQ(S_OK, mail->get_UserProperties(&properties));

    BSTR group = SysAllocString(L"Group");
    VARIANT one;
    VariantInit(&one);
    V_VT(&one) = VT_I4;
    V_I4(&one) = 1;
    UserProperty* property = NULL;
    EXPECT_EQ(S_OK, properties->Find(group, one, &property));
    EXPECT_TRUE(property == NULL); // not there: success with nothing
    ASSERT_EQ(S_OK, properties->Add(group, olText, one, one, &property));
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocString(L"TB2 : Home");
    EXPECT_EQ(S_OK, property->put_Value(value));
    VariantClear(&value);
    EXPECT_EQ(S_OK, mail->Save());
    EXPECT_EQ(S_OK, property->get_Value(&value));
    EXPECT_EQ(VT_BSTR, V_VT(&value));
    VariantClear(&value);
    SysFreeString(group);

    property->Release();
    properties->Release();
    mail->Release();
    found->Release();
    nameSpace->Release();
    application->Release();

    Mailbox after;
    std::string error;
    ASSERT_TRUE(after.Load(m_mailbox, &error)) << error;
    EXPECT_EQ("TB2 : Home", GroupOf(after, MessageId(0)));
    EXPECT_EQ("Personal", GroupOf(after, MessageId(1)));
}

TEST_F(AutomationServer, LookupFailuresAndItemsThatAreNotMail)
{
    _Application* application = NULL;
    ASSERT_EQ(S_OK, Activate(&application));
    _NameSpace* nameSpace = NULL;
    BSTR mapi = SysAllocString(L"MAPI");
    ASSERT_EQ(S_OK, application->GetNamespace(mapi, &nameSpace));
    SysFreeString(mapi);

    const HRESULT notFound = static_cast<HRESULT>(0x8004010F);
    IDispatch* found = NULL;
    EXPECT_EQ(notFound, Lookup(nameSpace, "00FF", DefaultStoreId(), &found));
    EXPECT_TRUE(found == NULL);
    EXPECT_EQ(notFound, Lookup(nameSpace, MessageId(0), "0000000038A1BB1005E5101AA1BB08002B2A56C2E202", &found));
    EXPECT_TRUE(found == NULL);
    // Hexadecimal text of either case names the same identifier.
    std::string lower = MessageId(1);
    for (size_t i = 0; i < lower.size(); ++i)
    {
        lower[i] = static_cast<char>(tolower(lower[i]));
    }
    ASSERT_EQ(S_OK, Lookup(nameSpace, lower, DefaultStoreId(), &found));
    found->Release();

    // The non-mail item answers IDispatch, not _MailItem.
    ASSERT_EQ(S_OK, Lookup(nameSpace, MessageId(2), DefaultStoreId(), &found));
    _MailItem* mail = NULL;
    EXPECT_EQ(E_NOINTERFACE, found->QueryInterface(IID__MailItem, reinterpret_cast<void**>(&mail)));
    found->Release();

    // A failure scripted in the mailbox comes back as the call's HRESULT.
    MailboxFailure failure = {"GetItemFromID", static_cast<HRESULT>(0x80040107)};
    m_box.failures.push_back(failure);
    std::string error;
    ASSERT_TRUE(m_box.Save(m_mailbox, &error)) << error;
    EXPECT_EQ(static_cast<HRESULT>(0x80040107), Lookup(nameSpace, MessageId(0), DefaultStoreId(), &found));

    nameSpace->Release();
    application->Release();
}

TEST_F(AutomationServer, UnregisteredServerCannotBeActivated)
{
    ASSERT_TRUE(UnregisterServer());
    CLSID clsid;
    EXPECT_TRUE(FAILED(CLSIDFromProgID(L"Outlook.Application", &clsid)));
    ASSERT_TRUE(RegisterServer(m_mailbox));
    _Application* application = NULL;
    ASSERT_EQ(S_OK, Activate(&application));
    application->Release();
}

// A client that dies holding a reference leaves the server with no one to release it; the
// server still ends, at its maximum lifetime, and a new one serves the next client.
TEST_F(AutomationServer, OutlivesADeadClientOnlyUntilItsMaximumLifetime)
{
    ASSERT_TRUE(RegisterServer(m_mailbox, 3));
    std::string output;
    ASSERT_EQ(0, RunProgram("\"" + BesideTest("e2e_dying_client.exe") + "\"", &output)) << output;
    std::vector<DWORD> orphans = ServerProcesses();
    ASSERT_EQ(1u, orphans.size());
    HANDLE orphan = OpenProcess(SYNCHRONIZE, FALSE, orphans[0]);
    ASSERT_TRUE(orphan != NULL);
    DWORD start = GetTickCount();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(orphan, 10000));
    EXPECT_LT(GetTickCount() - start, 5000u);
    CloseHandle(orphan);

    _Application* application = NULL;
    ASSERT_EQ(S_OK, Activate(&application));
    application->Release();
}

} // namespace
