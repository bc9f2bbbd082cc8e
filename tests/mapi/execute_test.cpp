// Execute end to end against counting fakes of the host's site, the MAPI session, store table,
// store and message, with Wine's MAPI32 and the prefix's MAPI provider between them (which
// counts MAPIInitialize/MAPIUninitialize and live MAPI memory), and "Outlook.Application"
// answered in process by object-model fakes. Traces are read as a debugger sees them.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "extension/rule_action.h"
#include "mapi/mapi_defs.h"
#include "support/automation_registration.h"
#include "support/mapi_provider_client.h"
#include "support/mapi_scripted_fakes.h"
#include "support/om_fakes.h"
#include "support/trace_capture.h"

namespace
{
typedef std::vector<std::string> Lines;

const std::vector<BYTE> kOtherStore = {0x11, 0x22};
const std::vector<BYTE> kDefaultStore = {0xDE, 0xFA, 0x01, 0x7F};
const std::vector<BYTE> kMessageId = {0x00, 0x00, 0x00, 0x00, 0x4D, 0x53, 0x47};

Lines CallsOf(const CallLog& log)
{
    Lines calls;
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

// Releases of the MAPI objects, in order (the object model's are checked as a whole).
Lines MapiReleasesOf(const CallLog& log)
{
    static const char* const objects[] = {"site.", "session.", "table.", "store.", "message."};
    Lines releases;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        const std::string& entry = log.entries()[i];
        for (size_t k = 0; k < sizeof(objects) / sizeof(objects[0]); ++k)
        {
            if (entry.compare(0, strlen(objects[k]), objects[k]) == 0 &&
                entry.find(".Release") != std::string::npos)
            {
                releases.push_back(entry);
            }
        }
    }
    return releases;
}

class ExecuteTest : public ::testing::Test
{
public:
    ExecuteTest()
        : site(&log), session(&log), table(&log), store(&log), message(&log), world(&log),
          factory(&log), action(NULL), baselineBlocks(0)
    {
    }

    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoInitialize(NULL));
        registration.reset(new AutomationRegistration(&factory));
        ASSERT_TRUE(registration->ok());
        ASSERT_TRUE(provider.ok()) << "the prefix configures the MAPI provider";
        provider.Reset();
        baselineBlocks = provider.Counters().liveRootBlocks;
        factory.object = world.application.AsDispatch();

        site.session = &session;
        session.table = &table;
        session.store = &store;
        table.AddStore(kOtherStore, false);
        table.AddStore(kDefaultStore, true);
        store.message = &message;
        message.entryId = kMessageId;
        message.storeEntryId = kDefaultStore;

        g_session = NULL;
        g_store = NULL;
        action = static_cast<IRuleAction*>(ExchEntryPoint());
        ASSERT_TRUE(action != NULL);
    }

    void TearDown() override
    {
        if (action != NULL)
        {
            action->Release();
        }
        registration.reset();
        CoUninitialize();
    }

    HRESULT Execute(const char* name = "Travel")
    {
        std::vector<BYTE> id = kMessageId;
        return action->Execute(&site, name, static_cast<ULONG>(id.size()), reinterpret_cast<LPENTRYID>(&id[0]));
    }

    // Everything handed to the module came back, and the module holds nothing any more.
    void ExpectEverythingGivenBack()
    {
        EXPECT_TRUE(g_session == NULL);
        EXPECT_TRUE(g_store == NULL);
        EXPECT_EQ(1, site.counter.refs());
        EXPECT_EQ(1, session.counter.refs());
        EXPECT_EQ(1, table.counter.refs());
        EXPECT_EQ(1, store.counter.refs());
        EXPECT_EQ(1, message.counter.refs());
        EXPECT_TRUE(world.AllReleased());
        EXPECT_TRUE(log.Matching("site.AddRef").empty()) << "the site is borrowed, never counted";
        const TbProviderCounters counters = provider.Counters();
        EXPECT_EQ(baselineBlocks, counters.liveRootBlocks) << "row sets and property values freed";
        EXPECT_EQ(0, counters.badFrees);
        EXPECT_EQ(counters.initializeCalls, counters.uninitializeCalls);
    }

    CallLog log;
    FakeSite site;
    ScriptedSession session;
    FakeStoreTable table;
    ScriptedStore store;
    ScriptedMessage message;
    OmWorld world;
    FakeClassFactory factory;
    TraceCapture traces;
    MapiProvider provider;
    std::unique_ptr<AutomationRegistration> registration;
    IRuleAction* action;
    LONG baselineBlocks;
};
} // namespace

TEST_F(ExecuteTest, OpensTheMessageInTheDefaultStoreTagsItAndGivesEverythingBack)
{
    EXPECT_EQ(S_OK, Execute("Travel"));

    EXPECT_TRUE(traces.Lines().empty());
    const std::string defaultHex = HexOf(kDefaultStore);
    const Lines mapiCalls = {
        "site.GetSession",
        "session.GetMsgStoresTable(0)",
        "table.SetColumns(0xFFF0102,0x3400000B;0)",
        "table.SetColumns(0xFFF0102,0x3400000B;0)",
        "table.Restrict(rt=4 relop=4 tag=0x3400000B value=0x3400000B:1;0)",
        "table.SeekRow(0,0)",
        "table.QueryRows(50)",
        "table.QueryRows(50)",
        "session.OpenMsgStore(4," + defaultHex + ",null,0x84)",
        "store.OpenEntry(7," + HexOf(kMessageId) + ",null,0x10)",
        "message.SaveChanges(0x2)",
    };
    const Lines calls = CallsOf(log);
    ASSERT_LE(mapiCalls.size(), calls.size());
    EXPECT_EQ(mapiCalls, Lines(calls.begin(), calls.begin() + mapiCalls.size()));
    EXPECT_EQ(L"TB2 : Travel", world.created.lastPut);
    EXPECT_EQ(1u, log.Matching("item.Save").size());
    EXPECT_EQ(static_cast<ULONG_PTR>(reinterpret_cast<UINT_PTR>(GetActiveWindow())),
              session.openStoreWindow);

    // The table goes once the store is open; then message, store, session.
    EXPECT_EQ((Lines{"table.Release", "message.Release", "store.Release", "session.Release"}),
              MapiReleasesOf(log));
    const TbProviderCounters counters = provider.Counters();
    EXPECT_EQ(1, counters.initializeCalls);
    EXPECT_EQ(1, counters.uninitializeCalls);
    EXPECT_EQ(1, counters.queryAllRowsCalls);
    ExpectEverythingGivenBack();
}

TEST_F(ExecuteTest, TwoCallsInARowEachTakeAndGiveBackTheirOwn)
{
    EXPECT_EQ(S_OK, Execute("Travel"));
    EXPECT_EQ(S_OK, Execute("Work"));
    const TbProviderCounters counters = provider.Counters();
    EXPECT_EQ(2, counters.initializeCalls);
    EXPECT_EQ(2, counters.uninitializeCalls);
    EXPECT_EQ(2u, log.Matching("site.GetSession").size());
    EXPECT_EQ(2u, log.Matching("store.OpenEntry").size());
    // The second call finds the item in "Travel" already and leaves it there.
    EXPECT_EQ(L"TB2 : Travel", world.created.lastPut);
    EXPECT_EQ(1u, log.Matching("item.Save").size());
    ExpectEverythingGivenBack();
}

TEST_F(ExecuteTest, ShutdownAfterExecuteHasNothingToRelease)
{
    EXPECT_EQ(S_OK, Execute());
    log.Clear();
    EXPECT_EQ(S_OK, action->Shutdown());
    EXPECT_TRUE(log.entries().empty());
    ExpectEverythingGivenBack();
}

TEST_F(ExecuteTest, AnEntryIdOfZeroBytesPassesAndOpenEntryDecides)
{
    BYTE none = 0;
    store.openEntryResult = MAPI_E_INVALID_ENTRYID;
    EXPECT_EQ(MAPI_E_INVALID_ENTRYID,
              action->Execute(&site, "Travel", 0, reinterpret_cast<LPENTRYID>(&none)));
    EXPECT_EQ(1u, log.Matching("store.OpenEntry(0,,null,0x10)").size());
    EXPECT_EQ((Lines{"Open entry on message failed\n"}), traces.Lines());
    ExpectEverythingGivenBack();
}

struct InvalidRow
{
    const char* name;
    bool nullName;
    bool nullEntryId;
};

TEST_F(ExecuteTest, ANullNameOrEntryIdIsRejectedBeforeAnythingElse)
{
    const InvalidRow rows[] = {
        {"null name", true, false}, {"null entry id", false, true}, {"both null", true, true}};
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        SCOPED_TRACE(rows[i].name);
        traces.Clear();
        log.Clear();
        provider.Reset();
        BYTE id[4] = {1, 2, 3, 4};
        EXPECT_EQ(E_INVALIDARG,
                  action->Execute(&site, rows[i].nullName ? NULL : "Travel", sizeof(id),
                                  rows[i].nullEntryId ? NULL : reinterpret_cast<LPENTRYID>(id)));
        EXPECT_EQ((Lines{"Invalid Parameter passed to Command\n"}), traces.Lines());
        EXPECT_TRUE(log.entries().empty()) << "the site is not even asked";
        EXPECT_EQ(0, provider.Counters().initializeCalls);
        EXPECT_EQ(0, provider.Counters().uninitializeCalls);
    }
}

// One row for each way Execute can fail or end early: the traces in order, the result, what
// was released and in which order, and whether MAPI was initialised and uninitialised.
struct ExecuteRow
{
    const char* name;
    std::function<void(ExecuteTest&)> arrange;
    Lines traces;
    HRESULT result;
    Lines releases;
    LONG initializeCalls;
    LONG uninitializeCalls;
    bool tagged;
};

void PrintTo(const ExecuteRow& row, std::ostream* os)
{
    *os << row.name;
}

class ExecuteFailureTest : public ExecuteTest, public ::testing::WithParamInterface<ExecuteRow>
{
};

TEST_P(ExecuteFailureTest, TracesReturnsAndGivesBack)
{
    const ExecuteRow& row = GetParam();
    row.arrange(*this);
    EXPECT_EQ(row.result, Execute("Travel"));
    EXPECT_EQ(row.traces, traces.Lines());
    EXPECT_EQ(row.releases, MapiReleasesOf(log));
    const TbProviderCounters counters = provider.Counters();
    EXPECT_EQ(row.initializeCalls, counters.initializeCalls);
    EXPECT_EQ(row.uninitializeCalls, counters.uninitializeCalls);
    EXPECT_EQ(row.tagged ? L"TB2 : Travel" : L"", world.created.lastPut);
    EXPECT_TRUE(g_session == NULL);
    EXPECT_TRUE(g_store == NULL);
    EXPECT_EQ(1, site.counter.refs());
    EXPECT_EQ(1, session.counter.refs());
    EXPECT_EQ(1, table.counter.refs());
    EXPECT_EQ(1, store.counter.refs());
    EXPECT_EQ(1, message.counter.refs());
    EXPECT_TRUE(world.AllReleased());
    EXPECT_EQ(baselineBlocks, counters.liveRootBlocks);
    EXPECT_EQ(0, counters.badFrees);
}

namespace
{
const Lines kNoTraces;
const Lines kEverything = {"table.Release", "message.Release", "store.Release", "session.Release"};

std::string ExecuteRowName(const ::testing::TestParamInfo<ExecuteRow>& info)
{
    return info.param.name;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Rows, ExecuteFailureTest,
    ::testing::Values(
        ExecuteRow{"GetSessionFails",
                   [](ExecuteTest& t) { t.site.getSessionResult = E_ACCESSDENIED; },
                   {"GetSession Failed!\n"}, E_ACCESSDENIED, {}, 0, 0, false},
        ExecuteRow{"GetSessionFailsLeavingASession",
                   [](ExecuteTest& t) {
                       t.site.getSessionResult = E_ACCESSDENIED;
                       t.site.sessionEvenOnFailure = true;
                   },
                   {"GetSession Failed!\n"}, E_ACCESSDENIED, {"session.Release"}, 0, 0, false},
        ExecuteRow{"MapiInitializeFails",
                   [](ExecuteTest& t) { t.provider.SetInitializeResult(MAPI_E_NOT_INITIALIZED); },
                   {"MAPIInitialize() Failed!\n"}, MAPI_E_NOT_INITIALIZED, {"session.Release"}, 1, 0,
                   false},
        ExecuteRow{"NoSession",
                   [](ExecuteTest& t) { t.site.session = NULL; },
                   {"GetDefaultStore() Failed!\n"}, MAPI_E_INVALID_PARAMETER, {}, 1, 1, false},
        ExecuteRow{"GetMsgStoresTableFails",
                   [](ExecuteTest& t) { t.session.getTableResult = MAPI_E_NO_ACCESS; },
                   {"GetMsgStoresTable Failed\n", "GetDefaultStore() Failed!\n"}, MAPI_E_NO_ACCESS,
                   {"session.Release"}, 1, 1, false},
        ExecuteRow{"SetColumnsFails",
                   [](ExecuteTest& t) { t.table.setColumnsResult = MAPI_E_BUSY; },
                   {"SetColumns Failed\n", "GetDefaultStore() Failed!\n"}, MAPI_E_BUSY,
                   {"table.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"HrQueryAllRowsFails",
                   [](ExecuteTest& t) { t.table.queryRowsResult = MAPI_E_TIMEOUT; },
                   {"HrQueryAllRows Failed\n", "GetDefaultStore() Failed!\n"}, MAPI_E_TIMEOUT,
                   {"table.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"NoStoreFlaggedAsDefault",
                   [](ExecuteTest& t) {
                       t.table.rows.clear();
                       t.table.AddStore(kOtherStore, false);
                   },
                   {"GetDefaultStore() Failed!\n"}, MAPI_E_NOT_FOUND,
                   {"table.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenMsgStoreFails",
                   [](ExecuteTest& t) { t.session.openStoreResult = MAPI_E_LOGON_FAILED; },
                   {"OpenMsgStore Failed\n", "GetDefaultStore() Failed!\n"}, MAPI_E_LOGON_FAILED,
                   {"table.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenMsgStoreFailsLeavingAStore",
                   [](ExecuteTest& t) {
                       t.session.openStoreResult = MAPI_E_LOGON_FAILED;
                       t.session.storeEvenOnFailure = true;
                   },
                   {"OpenMsgStore Failed\n", "GetDefaultStore() Failed!\n"}, MAPI_E_LOGON_FAILED,
                   {"table.Release", "store.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenMsgStoreGivesNoStore",
                   [](ExecuteTest& t) { t.session.store = NULL; },
                   {"GetDefaultStore() Failed!\n"}, MAPI_E_NOT_FOUND,
                   {"table.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenEntryFails",
                   [](ExecuteTest& t) { t.store.openEntryResult = MAPI_E_NOT_FOUND; },
                   {"Open entry on message failed\n"}, MAPI_E_NOT_FOUND,
                   {"table.Release", "store.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenEntryFailsLeavingAMessage",
                   [](ExecuteTest& t) {
                       t.store.openEntryResult = MAPI_E_NOT_FOUND;
                       t.store.messageEvenOnFailure = true;
                   },
                   {"Open entry on message failed\n"}, MAPI_E_NOT_FOUND, kEverything, 1, 1, false},
        ExecuteRow{"OpenEntryGivesNoMessage",
                   [](ExecuteTest& t) { t.store.message = NULL; },
                   {}, S_OK, {"table.Release", "store.Release", "session.Release"}, 1, 1, false},
        ExecuteRow{"OpenEntryWarningIsTheResult",
                   [](ExecuteTest& t) { t.store.openEntryResult = MAPI_W_ERRORS_RETURNED; },
                   {}, MAPI_W_ERRORS_RETURNED, kEverything, 1, 1, true},
        ExecuteRow{"SaveChangesFails",
                   [](ExecuteTest& t) { t.message.saveChangesResult = MAPI_E_NO_ACCESS; },
                   {}, S_OK, kEverything, 1, 1, true},
        ExecuteRow{"TaggingFindsNoServer",
                   [](ExecuteTest& t) { t.registration->RemoveProgId(); },
                   {}, S_OK, kEverything, 1, 1, false},
        ExecuteRow{"TaggingLeavesTheItemAlone",
                   [](ExecuteTest& t) { t.world.SetStoredText(L"TB2 : Other"); },
                   {}, S_OK, kEverything, 1, 1, false},
        ExecuteRow{"TaggingCannotReadTheEntryId",
                   [](ExecuteTest& t) { t.message.entryIdMissing = true; },
                   {}, S_OK, kEverything, 1, 1, false},
        ExecuteRow{"TaggingRaises",
                   [](ExecuteTest& t) {
                       t.world.nameSpace.getItemFromId.result = MAPI_E_NOT_FOUND;
                   },
                   {}, MAPI_E_NOT_FOUND, kEverything, 1, 1, false},
        ExecuteRow{"TaggingRaisesEPointer",
                   [](ExecuteTest& t) {
                       t.world.application.identity.Refuse(IID__Application, E_NOINTERFACE);
                   },
                   {}, E_POINTER, kEverything, 1, 1, false}),
    ExecuteRowName);
