// TagMessage end to end on the test process: "Outlook.Application" is activated for real
// (CLSIDFromProgID, CoCreateInstance with CLSCTX_LOCAL_SERVER) and answers with counting
// object-model fakes; the message is a counting MAPI fake whose property values come from the
// prefix's MAPI provider, so a property value not given back shows as a live block.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/automation_registration.h"
#include "support/mapi_provider_client.h"
#include "support/mapi_scripted_fakes.h"
#include "support/om_fakes.h"
#include "tagging/com_support.h"
#include "tagging/tag_message.h"

namespace
{
typedef std::vector<std::string> Calls;

Calls CallsOf(const CallLog& log)
{
    Calls calls;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        const std::string& entry = log.entries()[i];
        if (entry.find(".AddRef") == std::string::npos &&
            entry.find(".Release") == std::string::npos)
        {
            calls.push_back(entry);
        }
    }
    return calls;
}

Calls ReleasesOf(const CallLog& log)
{
    Calls releases;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        if (log.entries()[i].find(".Release") != std::string::npos)
        {
            releases.push_back(log.entries()[i]);
        }
    }
    return releases;
}

class TagMessageTest : public ::testing::Test
{
protected:
    TagMessageTest() : world(&log), factory(&log), message(&log), baseline(0) {}

    void SetUp() override
    {
        ASSERT_EQ(1252u, GetACP()) << "the test prefix's ANSI code page";
        ASSERT_EQ(S_OK, CoInitialize(NULL));
        registration.reset(new AutomationRegistration(&factory));
        ASSERT_TRUE(registration->ok());
        ASSERT_TRUE(provider.ok()) << "the prefix configures the MAPI provider";
        provider.Reset();
        baseline = provider.Counters().liveRootBlocks;
        factory.object = world.application.AsDispatch();
        message.entryId = {0x00, 0x00, 0x00, 0x00, 0xAB, 0xCD};
        message.storeEntryId = {0x01, 0x02, 0xFE};
    }

    void TearDown() override
    {
        EXPECT_TRUE(world.AllReleased()) << "every object-model reference came back";
        EXPECT_EQ(1, message.counter.refs()) << "the message stays the caller's";
        EXPECT_TRUE(log.Matching("message.SetProps").empty()) << "the message is never changed";
        EXPECT_EQ(baseline, provider.Counters().liveRootBlocks) << "property values freed";
        EXPECT_EQ(0, provider.Counters().badFrees);
        registration.reset();
        CoUninitialize();
        // A fresh initialisation now shows that the thread held only the test's own one.
        EXPECT_EQ(S_OK, CoInitialize(NULL)) << "TagMessage balanced its CoInitialize";
        CoUninitialize();
    }

    // Runs TagMessage; the HRESULT of a _com_error it raised, or S_OK.
    HRESULT Tag(const char* name = "Travel")
    {
        HRESULT raised = S_OK;
        try
        {
            TagMessage(&message, name);
        }
        catch (const _com_error& error)
        {
            raised = error.Error();
        }
        // Still initialised: TagMessage never takes away the test's own initialisation.
        EXPECT_EQ(S_FALSE, CoInitialize(NULL));
        CoUninitialize();
        return raised;
    }

    // What the last write put into "Group", or "(none)".
    std::wstring Written() const
    {
        if (!log.Matching("created.put_Value").empty())
        {
            return world.created.lastPut;
        }
        if (!log.Matching("property.put_Value").empty())
        {
            return world.property.lastPut;
        }
        return L"(none)";
    }

    CallLog log;
    OmWorld world;
    FakeClassFactory factory;
    ScriptedMessage message;
    MapiProvider provider;
    std::unique_ptr<AutomationRegistration> registration;
    LONG baseline;
};
} // namespace

TEST_F(TagMessageTest, TagsAMessageWithoutGroupThroughTheActivatedServer)
{
    EXPECT_EQ(S_OK, Tag("Travel"));
    EXPECT_EQ((Calls{"factory.CreateInstance(IDispatch)",
                     "application.QueryInterface(_Application)",
                     "application.GetNamespace(MAPI)",
                     "message.GetProps(0xFFF0102)",
                     "message.GetProps(0xFFB0102)",
                     "namespace.GetItemFromID(00000000ABCD,vt=8:0102FE)",
                     "item.QueryInterface(_MailItem)",
                     "item.get_UserProperties",
                     "properties.Find(Group,vt=3:1)",
                     "item.get_UserProperties",
                     "properties.Find(Group,vt=3:1)",
                     "properties.Add(Group,1,vt=3:1,vt=3:1)",
                     "created.put_Value(vt=8:TB2 : Travel)",
                     "item.Save"}),
              CallsOf(log));
    EXPECT_EQ(L"TB2 : Travel", Written());
}

TEST_F(TagMessageTest, GivesBackTheItemThenTheMailItemTheNamespaceAndTheApplication)
{
    world.SetStoredText(L"TB2 : Other");
    EXPECT_EQ(S_OK, Tag());
    Calls releases = ReleasesOf(log);
    // The fakes' own property and collection releases come from the reading of "Group".
    Calls order;
    for (size_t i = 0; i < releases.size(); ++i)
    {
        if (releases[i].compare(0, 5, "prope") != 0)
        {
            order.push_back(releases[i]);
        }
    }
    // The activation's reference goes as soon as _Application is held; the item looked up goes
    // before the mail item, which goes before the namespace and the application.
    ASSERT_LE(4u, order.size());
    EXPECT_EQ("application.Release", order[0]);
    EXPECT_EQ((Calls{"item.Release", "item.Release", "namespace.Release", "application.Release"}),
              Calls(order.end() - 4, order.end()));
}

TEST_F(TagMessageTest, TwoCallsInARowEachBalanceCom)
{
    EXPECT_EQ(S_OK, Tag("Travel"));
    EXPECT_EQ(S_OK, Tag("Work"));
    // The second finds its own "TB2 : " value and leaves the item alone.
    EXPECT_EQ(1u, log.Matching("item.Save").size());
    EXPECT_EQ(L"TB2 : Travel", world.created.lastPut);
}

// The tagging rule on the value found in "Group".
struct RuleRow
{
    const char* name;
    std::function<void(OmWorld&)> stored;
    bool written;
    HRESULT raised;
};

void PrintTo(const RuleRow& row, std::ostream* os)
{
    *os << row.name;
}

class TaggingRuleTest : public TagMessageTest, public ::testing::WithParamInterface<RuleRow>
{
};

TEST_P(TaggingRuleTest, WritesOnlyOverNothingEmptyOrTb1)
{
    GetParam().stored(world);
    EXPECT_EQ(GetParam().raised, Tag("Travel"));
    if (GetParam().written)
    {
        EXPECT_EQ(L"TB2 : Travel", Written());
        EXPECT_EQ(1u, log.Matching("item.Save").size());
    }
    else
    {
        EXPECT_EQ(L"(none)", Written());
        EXPECT_TRUE(log.Matching("item.Save").empty()) << "an item left alone is not saved";
    }
}

namespace
{
std::function<void(OmWorld&)> StoredText(const wchar_t* text)
{
    return [text](OmWorld& w) { w.SetStoredText(text); };
}

std::function<void(OmWorld&)> StoredVariant(VARTYPE type, LONG number)
{
    return [type, number](OmWorld& w) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = type;
        if (type == VT_I4)
        {
            V_I4(&v) = number;
        }
        w.SetStored(v);
    };
}

std::string RowName(const ::testing::TestParamInfo<RuleRow>& info)
{
    return info.param.name;
}

const std::wstring kLongTb1 = L"TB1 :" + std::wstring(150, L'y');
const std::wstring kLongOther = L"Holiday " + std::wstring(150, L'z');
} // namespace

INSTANTIATE_TEST_SUITE_P(
    StoredValues, TaggingRuleTest,
    ::testing::Values(
        RuleRow{"NoProperty", [](OmWorld&) {}, true, S_OK},
        RuleRow{"EmptyText", StoredText(L""), true, S_OK},
        RuleRow{"NullString", StoredText(NULL), true, S_OK},
        RuleRow{"ExactlyTb1Colon", StoredText(L"TB1 :"), true, S_OK},
        RuleRow{"Tb1ColonAndMore", StoredText(L"TB1 :x"), true, S_OK},
        RuleRow{"Tb1Over99Characters", StoredText(kLongTb1.c_str()), true, S_OK},
        RuleRow{"OnlyTb1", StoredText(L"TB1"), false, S_OK},
        RuleRow{"OnlyTb1Space", StoredText(L"TB1 "), false, S_OK},
        RuleRow{"LowerCaseTb1", StoredText(L"tb1 :"), false, S_OK},
        RuleRow{"Tb2OfAnotherCollection", StoredText(L"TB2 : Other"), false, S_OK},
        RuleRow{"OtherTextOver99Characters", StoredText(kLongOther.c_str()), false, S_OK},
        RuleRow{"ANumber", StoredVariant(VT_I4, 7), false, S_OK},
        RuleRow{"Unconvertible", StoredVariant(VT_NULL, 0), false, DISP_E_TYPEMISMATCH}),
    RowName);

// Every way TagMessage can end early: what it raises, and how far it got.
struct FailureRow
{
    const char* name;
    std::function<void(TagMessageTest&, OmWorld&, FakeClassFactory&, ScriptedMessage&,
                       AutomationRegistration&)>
        arrange;
    HRESULT raised;
    bool propertiesRead;  // the message's identifiers were read
    bool itemLookedUp;    // GetItemFromID was called
    bool written;
};

void PrintTo(const FailureRow& row, std::ostream* os)
{
    *os << row.name;
}

class TagMessageFailureTest : public TagMessageTest,
                              public ::testing::WithParamInterface<FailureRow>
{
};

TEST_P(TagMessageFailureTest, EndsQuietlyOrRaisesAndGivesEverythingBack)
{
    const FailureRow& row = GetParam();
    row.arrange(*this, world, factory, message, *registration);
    EXPECT_EQ(row.raised, Tag("Travel"));
    EXPECT_EQ(row.propertiesRead, !log.Matching("message.GetProps").empty());
    EXPECT_EQ(row.itemLookedUp, !log.Matching("namespace.GetItemFromID").empty());
    EXPECT_EQ(row.written ? L"TB2 : Travel" : L"(none)", Written());
}

namespace
{
typedef TagMessageTest F;
std::string FailureName(const ::testing::TestParamInfo<FailureRow>& info)
{
    return info.param.name;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Paths, TagMessageFailureTest,
    ::testing::Values(
        FailureRow{"ProgIdNotRegistered",
                   [](F&, OmWorld&, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration& r) { r.RemoveProgId(); },
                   S_OK, false, false, false},
        FailureRow{"ActivationFails",
                   [](F&, OmWorld&, FakeClassFactory& f, ScriptedMessage&,
                      AutomationRegistration&) { f.createResult = CO_E_SERVER_EXEC_FAILURE; },
                   S_OK, false, false, false},
        FailureRow{"ActivationGivesNoObject",
                   [](F&, OmWorld&, FakeClassFactory& f, ScriptedMessage&,
                      AutomationRegistration&) { f.object = NULL; },
                   S_OK, false, false, false},
        FailureRow{"NoApplicationInterface",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) {
                       w.application.identity.Refuse(IID__Application, E_NOINTERFACE);
                   },
                   E_POINTER, false, false, false},
        FailureRow{"ApplicationQueryFails",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) {
                       w.application.identity.Refuse(IID__Application, E_ACCESSDENIED);
                   },
                   E_ACCESSDENIED, false, false, false},
        FailureRow{"GetNamespaceFails",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) { w.application.getNamespace.result = E_FAIL; },
                   E_FAIL, false, false, false},
        FailureRow{"NoNamespace",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) { w.application.nameSpace = NULL; },
                   S_OK, false, false, false},
        FailureRow{"EntryIdUnreadable",
                   [](F&, OmWorld&, FakeClassFactory&, ScriptedMessage& m,
                      AutomationRegistration&) { m.entryIdMissing = true; },
                   S_OK, true, false, false},
        FailureRow{"StoreEntryIdUnreadable",
                   [](F&, OmWorld&, FakeClassFactory&, ScriptedMessage& m,
                      AutomationRegistration&) { m.storeEntryIdMissing = true; },
                   S_OK, true, false, false},
        FailureRow{"GetPropsFails",
                   [](F&, OmWorld&, FakeClassFactory&, ScriptedMessage& m,
                      AutomationRegistration&) { m.getPropsResult = MAPI_E_CALL_FAILED; },
                   S_OK, true, false, false},
        FailureRow{"GetItemFromIdFails",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) {
                       w.nameSpace.getItemFromId.result = MAPI_E_NOT_FOUND;
                   },
                   MAPI_E_NOT_FOUND, true, true, false},
        FailureRow{"GetItemFromIdGivesNothing",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) { w.nameSpace.item = NULL; },
                   S_OK, true, true, false},
        FailureRow{"NotAMailItem",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) {
                       w.item.identity.Refuse(IID__MailItem, E_NOINTERFACE);
                   },
                   S_OK, true, true, false},
        FailureRow{"MailItemQueryFails",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) {
                       w.item.identity.Refuse(IID__MailItem, E_UNEXPECTED);
                   },
                   E_UNEXPECTED, true, true, false},
        FailureRow{"FindFailsWhileReading",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) { w.properties.find.result = E_ACCESSDENIED; },
                   E_ACCESSDENIED, true, true, false},
        FailureRow{"SaveFails",
                   [](F&, OmWorld& w, FakeClassFactory&, ScriptedMessage&,
                      AutomationRegistration&) { w.item.save.result = E_FAIL; },
                   S_OK, true, true, true}),
    FailureName);

TEST_F(TagMessageTest, AFailingGetItemFromIdCarriesTheNamespacesErrorInformation)
{
    world.nameSpace.identity.answersErrorInfo = true;
    world.nameSpace.getItemFromId.result = DISP_E_EXCEPTION;
    world.nameSpace.getItemFromId.description = L"The item could not be found.";
    bool caught = false;
    try
    {
        TagMessage(&message, "Travel");
    }
    catch (const _com_error& error)
    {
        caught = true;
        EXPECT_EQ(DISP_E_EXCEPTION, error.Error());
        EXPECT_EQ(std::wstring(L"The item could not be found."),
                  std::wstring(static_cast<const wchar_t*>(error.Description())));
    }
    EXPECT_TRUE(caught);
    EXPECT_EQ(1u, log.Matching("namespace.InterfaceSupportsErrorInfo(_NameSpace)").size());
}

// Names and identifiers of every size are written whole, into texts sized to fit.
struct SizeRow
{
    const char* name;
    size_t entryIdBytes;
    std::string collection;
};

void PrintTo(const SizeRow& row, std::ostream* os)
{
    *os << row.name;
}

class TagMessageSizeTest : public TagMessageTest, public ::testing::WithParamInterface<SizeRow>
{
};

TEST_P(TagMessageSizeTest, WritesWholeTexts)
{
    const SizeRow& row = GetParam();
    message.entryId.assign(row.entryIdBytes, 0x5A);
    message.storeEntryId.assign(row.entryIdBytes, 0xA5);
    EXPECT_EQ(S_OK, Tag(row.collection.c_str()));
    const std::string itemHex = HexOf(message.entryId);
    const std::string storeHex = HexOf(message.storeEntryId);
    EXPECT_EQ(2 * row.entryIdBytes, itemHex.size());
    EXPECT_EQ(1u, log.Matching("namespace.GetItemFromID(" + itemHex + ",vt=8:" + storeHex + ")").size());

    const std::string expected = "TB2 : " + row.collection;
    EXPECT_EQ(expected, NarrowOf(world.created.lastPut.c_str()));
}

namespace
{
std::string SizeName(const ::testing::TestParamInfo<SizeRow>& info)
{
    return info.param.name;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Sizes, TagMessageSizeTest,
    ::testing::Values(SizeRow{"FourLetterName", 6, "Work"},
                      SizeRow{"EmptyEntryIds", 0, "Travel"},
                      SizeRow{"EntryIdsOf501Bytes", 501, "Travel"},
                      SizeRow{"EntryIdsOf502Bytes", 502, "Travel"},
                      SizeRow{"NameOf93Characters", 6, std::string(93, 'n')},
                      SizeRow{"NameOf94Characters", 6, std::string(94, 'n')},
                      SizeRow{"NameOf300Characters", 6, std::string(300, 'n')},
                      SizeRow{"NonAsciiName", 6, "Caf\xE9 \xC4rger"}),
    SizeName);

TEST_F(TagMessageTest, ANonAsciiNameArrivesAsTheSameCharactersInUtf16)
{
    EXPECT_EQ(S_OK, Tag("Caf\xE9 \xC4rger \x80"));
    EXPECT_EQ(L"TB2 : Caf\u00E9 \u00C4rger \u20AC", Written());
}

TEST_F(TagMessageTest, AFourLetterNameMakesATenCharacterValue)
{
    EXPECT_EQ(S_OK, Tag("Work"));
    EXPECT_EQ(10u, Written().size());
}
