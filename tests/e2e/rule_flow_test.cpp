// TB_RULE.dll end to end, driven as the mail client's rules engine drives it: loaded by path,
// Configure with the real dialog, Execute on messages of a test mailbox through the host's MAPI
// session, the "Group" property written by the real automation server process.
#include <gtest/gtest.h>

#include <ole2.h>
#include <vector>

#include "e2e/e2e_support.h"
#include "host/rules_host/dialog_driver.h"
#include "host/rules_host/mapi_library.h"
#include "host/rules_host/mapi_objects.h"
#include "host/rules_host/rule_host.h"
#include "host/rules_host/trace_capture.h"
#include "support/rule_module.h"

namespace
{

const HRESULT kInvalidEntryId = static_cast<HRESULT>(0x80040107);

class RuleFlow : public testing::Test
{
protected:
    RuleFlow() : m_mapi(E_FAIL), m_host(NULL) {}

    void SetUp()
    {
        // The mail client runs with OLE and MAPI initialised.
        OleInitialize(NULL);
        m_mapi = MapiLibrary::Instance().Initialize();
        ASSERT_EQ(S_OK, m_mapi) << "MAPIInitialize: is the MAPI provider configured in the prefix?";
        m_mailbox = BesideTest("e2e_rule_mailbox.txt");
        ASSERT_TRUE(RegisterServer(m_mailbox));
        m_host = new RuleHost(m_mailbox);
        std::string error;
        ASSERT_TRUE(m_host->LoadAction(RuleModulePath(), &error)) << error;
    }

    void TearDown()
    {
        delete m_host;
        m_host = NULL;
        if (SUCCEEDED(m_mapi))
        {
            MapiLibrary::Instance().Uninitialize();
        }
        OleUninitialize();
        EXPECT_EQ(0, LiveMapiObjects());
        EXPECT_EQ(0, EndLeftoverServers());
    }

    void WriteMailbox(const Mailbox& box)
    {
        std::string error;
        ASSERT_TRUE(box.Save(m_mailbox, &error)) << error;
    }

    Mailbox ReadMailbox()
    {
        Mailbox box;
        std::string error;
        EXPECT_TRUE(box.Load(m_mailbox, &error)) << error;
        return box;
    }

    // Only the host's own session is alive between calls: the module gave back the table, the
    // store and the message.
    void ExpectOnlyTheHostsSession() { EXPECT_EQ(1, LiveMapiObjects()); }

    HRESULT m_mapi;
    std::string m_mailbox;
    RuleHost* m_host;
    TraceCapture m_traces;
};

TEST_F(RuleFlow, TagsEveryMessageByTheTaggingRule)
{
    struct Row
    {
        const char* before; // NULL: no "Group" property; "other:": not a mail item
        const char* after;
    };
    const Row rows[] = {
        {NULL, "TB2 : Home"},
        {"", "TB2 : Home"},
        {"TB1 :", "TB2 : Home"},
        {"TB1 : Old", "TB2 : Home"},
        {"TB1", "TB1"},
        {"TB1 ", "TB1 "},
        {"tb1 : old", "tb1 : old"},
        {"TB2 : Travel", "TB2 : Travel"},
        {"Personal", "Personal"},
        {"other:", "(none)"},
        {"other:TB1 : Old", "TB1 : Old"},
    };
    const size_t count = sizeof(rows) / sizeof(rows[0]);
    std::vector<const char*> groups;
    for (size_t i = 0; i < count; ++i)
    {
        groups.push_back(rows[i].before);
    }
    WriteMailbox(MailboxWithGroups(&groups[0], count));

    const MapiCallCounts before = GetMapiCallCounts();
    ASSERT_EQ(S_OK, m_host->HoldAutomationServer());
    for (size_t i = 0; i < count; ++i)
    {
        EXPECT_EQ(S_OK, m_host->Execute("Home", MessageId(i))) << "message " << i;
    }
    m_host->ReleaseAutomationServer();
    // Each message opened once in the default store and committed once through MAPI.
    EXPECT_EQ(before.openMsgStore + static_cast<LONG>(count), GetMapiCallCounts().openMsgStore);
    EXPECT_EQ(before.openEntry + static_cast<LONG>(count), GetMapiCallCounts().openEntry);
    EXPECT_EQ(before.saveChanges + static_cast<LONG>(count), GetMapiCallCounts().saveChanges);

    Mailbox after = ReadMailbox();
    for (size_t i = 0; i < count; ++i)
    {
        EXPECT_EQ(rows[i].after, GroupOf(after, MessageId(i))) << "message " << i;
    }
    EXPECT_TRUE(m_traces.Take().empty());
    ExpectOnlyTheHostsSession();
}

TEST_F(RuleFlow, WithoutARegisteredServerNothingIsTaggedAndExecuteSucceeds)
{
    const char* const groups[] = {NULL, "TB1 : Old"};
    WriteMailbox(MailboxWithGroups(groups, 2));
    ASSERT_TRUE(UnregisterServer());

    EXPECT_EQ(S_OK, m_host->Execute("Home", MessageId(0)));
    EXPECT_EQ(S_OK, m_host->Execute("Home", MessageId(1)));

    Mailbox after = ReadMailbox();
    EXPECT_EQ("(none)", GroupOf(after, MessageId(0)));
    EXPECT_EQ("TB1 : Old", GroupOf(after, MessageId(1)));
    EXPECT_TRUE(m_traces.Take().empty());
    ExpectOnlyTheHostsSession();
}

TEST_F(RuleFlow, AServerFailingGetItemFromIdFailsExecuteAndTheHostGoesOn)
{
    const char* const groups[] = {NULL};
    Mailbox box = MailboxWithGroups(groups, 1);
    MailboxFailure failure = {"GetItemFromID", kInvalidEntryId};
    box.failures.push_back(failure);
    WriteMailbox(box);

    // Cold: the server ends only if the module gave back every object it got from it.
    // The server's failure code crosses the process boundary and comes back from Execute.
    HRESULT hr = m_host->Execute("Home", MessageId(0));
    EXPECT_EQ(kInvalidEntryId, hr) << HResultText(hr);
    EXPECT_TRUE(m_traces.Take().empty());
    EXPECT_EQ(0, EndLeftoverServers());
    ExpectOnlyTheHostsSession();
    EXPECT_EQ("(none)", GroupOf(ReadMailbox(), MessageId(0)));

    // The same host, the same module: once the server answers again, the message is tagged.
    box.failures.clear();
    WriteMailbox(box);
    EXPECT_EQ(S_OK, m_host->Execute("Home", MessageId(0)));
    EXPECT_EQ("TB2 : Home", GroupOf(ReadMailbox(), MessageId(0)));
}

// Failures on the MAPI side, through MAPI32.DLL and the host's session: each one traced, the
// call failed, everything given back, nothing tagged, the automation server never started.
TEST_F(RuleFlow, MapiFailuresAreTracedAndGiveEverythingBack)
{
    enum Setup
    {
        kNoDefaultStore,
        kMessageInAnotherStore,
        kScriptedFailure
    };
    struct Case
    {
        const char* what;
        Setup setup;
        const char* method; // for kScriptedFailure
        HRESULT expected;   // 0: any failure
        const char* traces[2];
        bool reachesMessage; // OpenEntry is called
    };
    const HRESULT notFound = static_cast<HRESULT>(0x8004010F);
    const HRESULT noAccess = static_cast<HRESULT>(0x80070005);
    const Case cases[] = {
        {"no store flagged default", kNoDefaultStore, NULL, 0, {"GetDefaultStore() Failed!\n", NULL}, false},
        {"message outside the default store", kMessageInAnotherStore, NULL, notFound,
         {"Open entry on message failed\n", NULL}, true},
        {"GetMsgStoresTable fails", kScriptedFailure, "GetMsgStoresTable", noAccess,
         {"GetMsgStoresTable Failed\n", "GetDefaultStore() Failed!\n"}, false},
        {"OpenMsgStore fails", kScriptedFailure, "OpenMsgStore", noAccess,
         {"OpenMsgStore Failed\n", "GetDefaultStore() Failed!\n"}, false},
        {"OpenEntry fails", kScriptedFailure, "OpenEntry", noAccess, {"Open entry on message failed\n", NULL},
         true},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const char* const groups[] = {NULL};
        Mailbox box = MailboxWithGroups(groups, 1);
        if (c.setup == kNoDefaultStore)
        {
            box.stores[0].isDefault = false;
        }
        else if (c.setup == kMessageInAnotherStore)
        {
            box.messages[0].storeId = box.stores[1].entryId;
        }
        else
        {
            MailboxFailure failure = {c.method, c.expected};
            box.failures.push_back(failure);
        }
        WriteMailbox(box);
        const LONG openEntryBefore = GetMapiCallCounts().openEntry;

        HRESULT hr = m_host->Execute("Home", MessageId(0));

        EXPECT_TRUE(FAILED(hr)) << HResultText(hr);
        EXPECT_EQ(openEntryBefore + (c.reachesMessage ? 1 : 0), GetMapiCallCounts().openEntry);
        if (c.expected != 0)
        {
            EXPECT_EQ(c.expected, hr) << HResultText(hr);
        }
        std::vector<std::string> expectedTraces;
        for (size_t t = 0; t < 2 && c.traces[t] != NULL; ++t)
        {
            expectedTraces.push_back(c.traces[t]);
        }
        EXPECT_EQ(expectedTraces, m_traces.Take());
        ExpectOnlyTheHostsSession();
        EXPECT_EQ("(none)", GroupOf(ReadMailbox(), MessageId(0)));
        EXPECT_EQ(0, EndLeftoverServers(0));
    }
    EXPECT_EQ(static_cast<LONG>(sizeof(cases) / sizeof(cases[0])), m_host->site().getSessionCalls());
}

TEST_F(RuleFlow, ASecondRuleLeavesWhatTheFirstFiled)
{
    const char* const groups[] = {NULL, "TB1 : Old", "Personal"};
    WriteMailbox(MailboxWithGroups(groups, 3));

    ASSERT_EQ(S_OK, m_host->HoldAutomationServer());
    const char* const collections[] = {"Home", "Work"};
    for (size_t r = 0; r < 2; ++r)
    {
        for (size_t i = 0; i < 3; ++i)
        {
            EXPECT_EQ(S_OK, m_host->Execute(collections[r], MessageId(i))) << collections[r] << " " << i;
        }
    }
    m_host->ReleaseAutomationServer();

    Mailbox after = ReadMailbox();
    EXPECT_EQ("TB2 : Home", GroupOf(after, MessageId(0)));
    EXPECT_EQ("TB2 : Home", GroupOf(after, MessageId(1)));
    EXPECT_EQ("Personal", GroupOf(after, MessageId(2)));
    ExpectOnlyTheHostsSession();
}

// The store table answers MAPI32.DLL's HrQueryAllRows (forwarded to the configured provider)
// with the default store only.
TEST_F(RuleFlow, TheStoreTableAnswersHrQueryAllRows)
{
    const char* const groups[] = {NULL};
    Mailbox box = MailboxWithGroups(groups, 1);
    std::swap(box.stores[0], box.stores[1]); // the default store is the second row
    WriteMailbox(box);

    typedef HRESULT(STDAPICALLTYPE * QueryAllRowsFn)(LPMAPITABLE, LPSPropTagArray, LPSRestriction,
                                                     LPSSortOrderSet, LONG, LPSRowSet*);
    typedef void(STDAPICALLTYPE * FreeProwsFn)(LPSRowSet);
    HMODULE mapi32 = GetModuleHandleA("mapi32.dll");
    ASSERT_TRUE(mapi32 != NULL);
    QueryAllRowsFn queryAllRows =
        reinterpret_cast<QueryAllRowsFn>(reinterpret_cast<void*>(GetProcAddress(mapi32, "HrQueryAllRows@24")));
    FreeProwsFn freeProws = reinterpret_cast<FreeProwsFn>(reinterpret_cast<void*>(GetProcAddress(mapi32, "FreeProws@4")));
    ASSERT_TRUE(queryAllRows != NULL && freeProws != NULL);

    IMAPISession* session = NULL;
    ASSERT_EQ(S_OK, m_host->site().GetSession(&session));
    IMAPITable* table = NULL;
    ASSERT_EQ(S_OK, session->GetMsgStoresTable(0, &table));
    SizedSPropTagArray(2, columns) = {2, {PR_ENTRYID, PR_DEFAULT_STORE}};
    SPropValue isDefault;
    isDefault.ulPropTag = PR_DEFAULT_STORE;
    isDefault.Value.b = TRUE;
    SRestriction restriction;
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = PR_DEFAULT_STORE;
    restriction.res.resProperty.lpProp = &isDefault;
    LPSRowSet rows = NULL;
    ASSERT_EQ(S_OK, queryAllRows(table, reinterpret_cast<LPSPropTagArray>(&columns), &restriction, NULL, 0, &rows));
    ASSERT_TRUE(rows != NULL);
    ASSERT_EQ(1u, rows->cRows);
    ASSERT_EQ(2u, rows->aRow[0].cValues);
    const SPropValue& entryId = rows->aRow[0].lpProps[0];
    ASSERT_EQ(static_cast<ULONG>(PR_ENTRYID), entryId.ulPropTag);
    EXPECT_EQ(box.stores[1].entryId, BytesToHex(entryId.Value.bin.lpb, entryId.Value.bin.cb));
    EXPECT_EQ(static_cast<ULONG>(PR_DEFAULT_STORE), rows->aRow[0].lpProps[1].ulPropTag);
    freeProws(rows);
    table->Release();
    session->Release();
}

// The collection the user creates in the dialog is stored and is what the rule then files under.
class RuleFlowWithCollections : public RuleFlow
{
protected:
    void SetUp()
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups");
        HKEY key = NULL;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups\\Group1", 0, NULL,
                                                 0, KEY_ALL_ACCESS, NULL, &key, NULL));
        RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>("Travel"), 7);
        RegCloseKey(key);
        RuleFlow::SetUp();
    }

    void TearDown()
    {
        RuleFlow::TearDown();
        RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups");
    }
};

TEST_F(RuleFlowWithCollections, ACollectionCreatedInTheDialogIsUsedByTheRule)
{
    const char* const groups[] = {NULL};
    WriteMailbox(MailboxWithGroups(groups, 1));

    HostRule rule;
    HRESULT hr;
    {
        DialogDriver driver("new:Receipts 2026;ok");
        hr = m_host->Configure(&rule);
        EXPECT_TRUE(driver.problems().empty());
    }
    ASSERT_EQ(S_OK, hr);
    EXPECT_EQ("Receipts 2026", rule.data);
    EXPECT_EQ("Add To Collection Receipts 2026", rule.display);
    char stored[64] = {0};
    DWORD size = sizeof(stored);
    EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups\\Group2", "Name",
                                          RRF_RT_REG_SZ, NULL, stored, &size));
    EXPECT_STREQ("Receipts 2026", stored);

    std::string description;
    EXPECT_EQ(S_OK, m_host->Describe(rule.data, &description));
    EXPECT_EQ("Add Sender to Receipts 2026", description);

    EXPECT_EQ(S_OK, m_host->Execute(rule.data, MessageId(0)));
    EXPECT_EQ("TB2 : Receipts 2026", GroupOf(ReadMailbox(), MessageId(0)));
}

// The simulator program itself: a second process runs the rules, and leaves no server behind.
TEST_F(RuleFlow, TheSimulatorRunsTheRulesOfItsRulesFile)
{
    const char* const groups[] = {NULL, "TB2 : Travel"};
    WriteMailbox(MailboxWithGroups(groups, 2));
    std::vector<HostRule> rules(1);
    rules[0].data = "Home";
    rules[0].display = "Add To Collection Home";
    const std::string rulesPath = BesideTest("e2e_rules.txt");
    std::string error;
    ASSERT_TRUE(SaveRules(rulesPath, rules, &error)) << error;

    std::string output;
    int exitCode = RunProgram("\"" + BesideTest("tb_rulehost.exe") + "\" --mailbox \"" + m_mailbox + "\" --rules \"" +
                                  rulesPath + "\" run",
                              &output);

    EXPECT_EQ(0, exitCode) << output;
    EXPECT_NE(std::string::npos, output.find("\"TB2 : Home\"")) << output;
    EXPECT_EQ(0, EndLeftoverServers());
    Mailbox after = ReadMailbox();
    EXPECT_EQ("TB2 : Home", GroupOf(after, MessageId(0)));
    EXPECT_EQ("TB2 : Travel", GroupOf(after, MessageId(1)));
}

} // namespace
