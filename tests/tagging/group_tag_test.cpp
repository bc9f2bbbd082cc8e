// ReadGroupTag, WriteGroupTag and SetUserProperty against counting object-model fakes: the
// calls, their arguments and order, the raised _com_error (with and without the server's
// error information), and every reference given back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/guarded_buffer.h"
#include "support/om_fakes.h"
#include "tagging/com_support.h"
#include "tagging/group_tag.h"

namespace
{
typedef std::vector<std::string> Calls;

// The calls made, without reference counting.
Calls CallsOf(const CallLog& log)
{
    Calls calls;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        const std::string& entry = log.entries()[i];
        if (entry.find(".AddRef") == std::string::npos && entry.find(".Release") == std::string::npos)
        {
            calls.push_back(entry);
        }
    }
    return calls;
}

// Runs f and gives back the HRESULT of the _com_error it raised, or S_OK.
template <class F> HRESULT RaisedBy(F f)
{
    try
    {
        f();
    }
    catch (const _com_error& error)
    {
        return error.Error();
    }
    return S_OK;
}

VARIANT Text(const wchar_t* text)
{
    VARIANT v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text == NULL ? NULL : SysAllocString(text);
    return v;
}

VARIANT Long(LONG value)
{
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Null()
{
    VARIANT v;
    V_VT(&v) = VT_NULL;
    return v;
}

class GroupTagTest : public ::testing::Test
{
protected:
    GroupTagTest() : world(&log) {}

    void SetUp() override
    {
        // Text conversions use the system ANSI code page; the expectations here are in 1252.
        ASSERT_EQ(1252u, GetACP()) << "the test prefix's ANSI code page";
    }

    void TearDown() override
    {
        EXPECT_TRUE(world.AllReleased()) << "every reference handed out came back";
    }

    void Store(VARIANT value)
    {
        world.SetStored(value);
        VariantClear(&value);
    }

    CallLog log;
    OmWorld world;
};
} // namespace

struct ReadRow
{
    const char* name;
    bool hasProperty;
    VARIANT (*stored)();
    int expected;
    const char* expectedText; // NULL: buffer untouched
    HRESULT raised;
};

VARIANT StoredAbc() { return Text(L"abc"); }
VARIANT StoredEmpty() { return Text(L""); }
VARIANT StoredNullBstr() { return Text(NULL); }
VARIANT StoredNumber() { return Long(42); }
VARIANT StoredNull() { return Null(); }
VARIANT StoredNothing() { VARIANT v; VariantInit(&v); return v; }
VARIANT StoredAccented() { return Text(L"\u00C9t\u00E9 TB"); }

TEST_F(GroupTagTest, ReadGroupTagDeliversTheStoredTextAndSaysWhetherItIsEmpty)
{
    const ReadRow rows[] = {
        {"three letters", true, StoredAbc, 1, "abc", S_OK},
        {"empty text", true, StoredEmpty, 0, "", S_OK},
        {"null string", true, StoredNullBstr, 0, "", S_OK},
        {"a number, converted", true, StoredNumber, 1, "42", S_OK},
        {"never delivered: VT_EMPTY", true, StoredNothing, 0, "", S_OK},
        {"no property", false, StoredNothing, 0, NULL, S_OK},
        {"unconvertible VT_NULL", true, StoredNull, 0, NULL, DISP_E_TYPEMISMATCH},
        {"non-ASCII, back in the ANSI code page", true, StoredAccented, 1, "\xC9t\xE9 TB", S_OK},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const ReadRow& row = rows[i];
        SCOPED_TRACE(row.name);
        CallLog rowLog;
        OmWorld rowWorld(&rowLog);
        if (row.hasProperty)
        {
            VARIANT stored = row.stored();
            rowWorld.SetStored(stored);
            VariantClear(&stored);
        }
        GuardedBuffer buffer(100);
        int result = -1;
        const HRESULT raised = RaisedBy([&] {
            result = ReadGroupTag(&rowWorld.item, buffer.data(), buffer.size());
        });
        EXPECT_EQ(row.raised, raised);
        if (SUCCEEDED(row.raised))
        {
            EXPECT_EQ(row.expected, result);
        }
        if (row.expectedText == NULL)
        {
            EXPECT_TRUE(buffer.Untouched());
        }
        else
        {
            EXPECT_EQ(row.expectedText, buffer.Text());
            EXPECT_TRUE(buffer.GuardsIntact());
        }
        Calls expected = {"item.get_UserProperties", "properties.Find(Group,vt=3:1)"};
        if (row.hasProperty)
        {
            expected.push_back("property.get_Value(vt=0:)");
        }
        EXPECT_EQ(expected, CallsOf(rowLog));
        EXPECT_TRUE(rowWorld.AllReleased());
    }
}

TEST_F(GroupTagTest, ReadGroupTagGivesBackInOrderAndLeavesTheBufferAloneWithoutACollection)
{
    Store(Text(L"abc"));
    char buffer[100];
    EXPECT_EQ(1, ReadGroupTag(&world.item, buffer, sizeof(buffer)));
    Calls releases;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        if (log.entries()[i].find(".Release") != std::string::npos)
        {
            releases.push_back(log.entries()[i]);
        }
    }
    EXPECT_EQ((Calls{"property.Release", "properties.Release"}), releases);

    world.item.properties = NULL;
    GuardedBuffer untouched(100);
    EXPECT_EQ(0, ReadGroupTag(&world.item, untouched.data(), untouched.size()));
    EXPECT_TRUE(untouched.Untouched());
}

TEST_F(GroupTagTest, ReadGroupTagCutsAStoredTextLongerThanTheBuffer)
{
    const std::wstring longText = L"TB1 :" + std::wstring(145, L'x');
    Store(Text(longText.c_str()));
    GuardedBuffer buffer(100);
    EXPECT_EQ(1, ReadGroupTag(&world.item, buffer.data(), buffer.size()));
    EXPECT_TRUE(buffer.GuardsIntact());
    EXPECT_EQ(99u, buffer.Text().size());
    EXPECT_EQ("TB1 :" + std::string(94, 'x'), buffer.Text());
}

TEST_F(GroupTagTest, ANullItemRaisesEPointer)
{
    char buffer[100];
    EXPECT_EQ(E_POINTER, RaisedBy([&] { ReadGroupTag(NULL, buffer, sizeof(buffer)); }));
    EXPECT_EQ(E_POINTER, RaisedBy([&] { WriteGroupTag(NULL, "TB2 : x", 1); }));
}

struct WriteRow
{
    const char* name;
    bool hasProperty;
    HRESULT findResult;
    HRESULT addResult;
    bool addGivesNothing;
    HRESULT putResult;
    HRESULT saveResult;
    int save;
    HRESULT raised;
    Calls calls;
};

TEST_F(GroupTagTest, WriteGroupTagFindsOrAddsThenSetsAndSaves)
{
    const Calls none;
    const WriteRow rows[] = {
        {"property there: no Add", true, S_OK, S_OK, false, S_OK, S_OK, 1, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "property.put_Value(vt=8:TB2 : Trips)", "item.Save"}},
        {"no property: Find, Add, put_Value, Save", false, S_OK, S_OK, false, S_OK, S_OK, 1, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "properties.Add(Group,1,vt=3:1,vt=3:1)", "created.put_Value(vt=8:TB2 : Trips)",
          "item.Save"}},
        {"save flag 0: set, not saved", true, S_OK, S_OK, false, S_OK, S_OK, 0, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "property.put_Value(vt=8:TB2 : Trips)"}},
        {"failing Save is dropped", true, S_OK, S_OK, false, S_OK, E_ACCESSDENIED, 1, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "property.put_Value(vt=8:TB2 : Trips)", "item.Save",
          "item.QueryInterface(ISupportErrorInfo)"}},
        {"failing put_Value is ignored", true, S_OK, S_OK, false, E_FAIL, S_OK, 1, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "property.put_Value(vt=8:TB2 : Trips)", "item.Save"}},
        {"Find fails: raised, no Save", true, E_ACCESSDENIED, S_OK, false, S_OK, S_OK, 1,
         E_ACCESSDENIED,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "properties.QueryInterface(ISupportErrorInfo)"}},
        {"Add fails: raised", false, S_OK, DISP_E_EXCEPTION, false, S_OK, S_OK, 1,
         DISP_E_EXCEPTION,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "properties.Add(Group,1,vt=3:1,vt=3:1)", "properties.QueryInterface(ISupportErrorInfo)"}},
        {"Add gives nothing: no write, still saved", false, S_OK, S_OK, true, S_OK, S_OK, 1, S_OK,
         {"item.get_UserProperties", "properties.Find(Group,vt=3:1)",
          "properties.Add(Group,1,vt=3:1,vt=3:1)", "item.Save"}},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const WriteRow& row = rows[i];
        SCOPED_TRACE(row.name);
        CallLog rowLog;
        OmWorld rowWorld(&rowLog);
        if (row.hasProperty)
        {
            rowWorld.SetStoredText(L"TB1 : old");
        }
        rowWorld.properties.find.result = row.findResult;
        rowWorld.properties.add.result = row.addResult;
        if (row.addGivesNothing)
        {
            rowWorld.properties.added = NULL;
        }
        rowWorld.property.putValue.result = row.putResult;
        rowWorld.created.putValue.result = row.putResult;
        rowWorld.item.save.result = row.saveResult;

        EXPECT_EQ(row.raised, RaisedBy([&] { WriteGroupTag(&rowWorld.item, "TB2 : Trips", row.save); }));
        EXPECT_EQ(row.calls, CallsOf(rowLog));
        EXPECT_TRUE(rowWorld.AllReleased());
    }
}

TEST_F(GroupTagTest, WriteGroupTagWithoutACollectionWritesNothingAndDoesNotSave)
{
    world.item.properties = NULL;
    WriteGroupTag(&world.item, "TB2 : Trips", 1);
    EXPECT_EQ((Calls{"item.get_UserProperties"}), CallsOf(log));
}

TEST_F(GroupTagTest, SetUserPropertyWithoutACollectionDoesNothing)
{
    SetUserProperty(NULL, "Group", "x");
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(GroupTagTest, SetUserPropertyConvertsTextsInTheAnsiCodePage)
{
    SetUserProperty(&world.properties, "Gr\xFCppe", "Caf\xE9 \xA9");
    EXPECT_EQ(L"Caf\u00E9 \u00A9", world.created.lastPut);
    EXPECT_EQ("properties.Find(Gr\xFCppe,vt=3:1)", CallsOf(log)[0]);
}

TEST_F(GroupTagTest, SetUserPropertyWithANullValueWritesANullString)
{
    world.SetStoredText(L"old");
    SetUserProperty(&world.properties, "Group", NULL);
    EXPECT_EQ((Calls{"properties.Find(Group,vt=3:1)", "property.put_Value(vt=8:(null))"}),
              CallsOf(log));
}

// Form 1 of the error raising: the failing object's error information travels with the
// _com_error only when the object says it supports it for the interface that was called.
struct ErrorInfoRow
{
    const char* name;
    bool answersErrorInfo;
    HRESULT supportsAnswer;
    bool expectInfo;
};

TEST_F(GroupTagTest, AFailingFindCarriesTheServersErrorInformationWhenSupported)
{
    const ErrorInfoRow rows[] = {
        {"supported for UserProperties", true, S_OK, true},
        {"ISupportErrorInfo says S_FALSE", true, S_FALSE, false},
        {"no ISupportErrorInfo", false, S_OK, false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const ErrorInfoRow& row = rows[i];
        SCOPED_TRACE(row.name);
        CallLog rowLog;
        OmWorld rowWorld(&rowLog);
        rowWorld.properties.identity.answersErrorInfo = row.answersErrorInfo;
        rowWorld.properties.identity.interfaceSupportsErrorInfo = row.supportsAnswer;
        rowWorld.properties.find.result = 0x80020009; // DISP_E_EXCEPTION
        rowWorld.properties.find.description = L"The property store is offline.";
        char buffer[100];
        bool caught = false;
        try
        {
            ReadGroupTag(&rowWorld.item, buffer, sizeof(buffer));
        }
        catch (const _com_error& error)
        {
            caught = true;
            EXPECT_EQ(DISP_E_EXCEPTION, error.Error());
            IErrorInfo* info = error.ErrorInfo();
            EXPECT_EQ(row.expectInfo, info != NULL);
            if (info != NULL)
            {
                BSTR description = NULL;
                info->GetDescription(&description);
                EXPECT_STREQ(L"The property store is offline.", description);
                SysFreeString(description);
                info->Release();
            }
        }
        EXPECT_TRUE(caught);
        if (row.answersErrorInfo)
        {
            EXPECT_EQ(1u, rowLog.Matching("properties.InterfaceSupportsErrorInfo(UserProperties)").size());
        }
        EXPECT_TRUE(rowWorld.AllReleased());
        // Nothing may be left behind for the next failure on this thread.
        IErrorInfo* left = NULL;
        GetErrorInfo(0, &left);
        if (left != NULL)
        {
            left->Release();
        }
    }
}

TEST_F(GroupTagTest, AFailingSaveAsksForErrorInformationOnTheMailItemAndDropsIt)
{
    world.SetStoredText(L"");
    world.item.identity.answersErrorInfo = true;
    world.item.save.result = E_FAIL;
    world.item.save.description = L"Saving failed.";
    WriteGroupTag(&world.item, "TB2 : Trips", 1);
    EXPECT_EQ(1u, log.Matching("item.InterfaceSupportsErrorInfo(_MailItem)").size());
}

TEST(ComSupportTest, ACallThroughAnEmptyHolderRaisesEPointer)
{
    ComRef<_MailItem> empty;
    EXPECT_EQ(E_POINTER, RaisedBy([&] { empty->Save(); }));
}

TEST(ComSupportTest, ACopiedHolderTakesItsOwnReference)
{
    CallLog log;
    FakeMailItem item(&log);
    {
        ComRef<_MailItem> first;
        item.QueryInterface(IID__MailItem, first.put_void());
        ComRef<_MailItem> second(first);
        EXPECT_EQ(3, item.refs());
    }
    EXPECT_EQ(1, item.refs());
}

TEST(ComSupportTest, TheCompilersComSupportTypesLinkAndConvertInTheAnsiCodePage)
{
    ASSERT_EQ(1252u, GetACP());
    _bstr_t text("Caf\xE9");
    EXPECT_STREQ(L"Caf\u00E9", static_cast<const wchar_t*>(text));
    EXPECT_STREQ("Caf\xE9", static_cast<const char*>(_bstr_t(L"Caf\u00E9")));

    CallLog log;
    FakeUserProperties properties(&log);
    properties.identity.answersErrorInfo = true;
    FailWithErrorInfo(E_FAIL, L"Offline.");
    bool caught = false;
    try
    {
        _com_issue_errorex(E_FAIL, static_cast<UserProperties*>(&properties), IID_UserProperties);
    }
    catch (const _com_error& error)
    {
        caught = true;
        EXPECT_EQ(E_FAIL, error.Error());
        EXPECT_STREQ(L"Offline.", static_cast<const wchar_t*>(error.Description()));
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(1, properties.refs());
}

TEST_F(GroupTagTest, TheValueReadIsClearedAlsoWhenItCannotBeConverted)
{
    // An object delivered as the value is counted: clearing the VARIANT gives its reference back.
    CallLog valueLog;
    FakeMailItem object(&valueLog, "value");
    VARIANT stored;
    V_VT(&stored) = VT_DISPATCH;
    V_DISPATCH(&stored) = object.AsDispatch();
    world.SetStored(stored);
    char buffer[100];
    EXPECT_TRUE(FAILED(RaisedBy([&] { ReadGroupTag(&world.item, buffer, sizeof(buffer)); })));
    VariantClear(&world.property.value);
    EXPECT_EQ(1, object.refs()) << "every copy of the value was cleared";
}
