// GetDefaultStore against a counting session and store table, through Wine's MAPI32 and the
// prefix's MAPI provider (whose HrQueryAllRows works through the table and whose allocator
// shows a row set not given back).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapi/mapi_defs.h"
#include "support/mapi_provider_client.h"
#include "support/mapi_scripted_fakes.h"
#include "support/trace_capture.h"

namespace
{
typedef std::vector<std::string> Lines;

std::vector<BYTE> Id(BYTE first, size_t size = 4)
{
    std::vector<BYTE> id(size, 0x33);
    id[0] = first;
    return id;
}

class DefaultStoreTest : public ::testing::Test
{
protected:
    DefaultStoreTest() : session(&log), table(&log), store(&log), opened(NULL), baseline(0) {}

    void SetUp() override
    {
        ASSERT_TRUE(provider.ok()) << "the prefix configures the MAPI provider";
        provider.Reset();
        baseline = provider.Counters().liveRootBlocks;
        session.table = &table;
        session.store = &store;
    }

    void TearDown() override
    {
        if (opened != NULL)
        {
            opened->Release();
        }
        EXPECT_EQ(1, session.counter.refs());
        EXPECT_EQ(1, table.counter.refs()) << "the table is given back";
        EXPECT_EQ(1, store.counter.refs());
        EXPECT_EQ(baseline, provider.Counters().liveRootBlocks) << "the row set is freed";
        EXPECT_EQ(0, provider.Counters().badFrees);
    }

    HRESULT Find() { return GetDefaultStore(&session, &opened); }

    Lines OpenedIds() const { return log.Matching("session.OpenMsgStore"); }

    CallLog log;
    ScriptedSession session;
    FakeStoreTable table;
    ScriptedStore store;
    IMsgStore* opened;
    MapiProvider provider;
    TraceCapture traces;
    LONG baseline;
};
} // namespace

TEST_F(DefaultStoreTest, OpensTheStoreFlaggedAsDefault)
{
    table.AddStore(Id(0x01), false);
    table.AddStore(Id(0x02), true);
    table.AddStore(Id(0x03), false);
    EXPECT_EQ(S_OK, Find());
    EXPECT_TRUE(opened == &store);
    EXPECT_EQ((Lines{"session.OpenMsgStore(4," + HexOf(Id(0x02)) + ",null,0x84)"}), OpenedIds());
    EXPECT_TRUE(traces.Lines().empty());
    EXPECT_EQ(1, provider.Counters().queryAllRowsCalls);
}

TEST_F(DefaultStoreTest, OfTwoDefaultRowsTheFirstIsOpened)
{
    table.AddStore(Id(0x0A), true);
    table.AddStore(Id(0x0B), true);
    EXPECT_EQ(S_OK, Find());
    EXPECT_EQ((Lines{"session.OpenMsgStore(4," + HexOf(Id(0x0A)) + ",null,0x84)"}), OpenedIds());
}

TEST_F(DefaultStoreTest, FindsTheDefaultBehindMoreRowsThanOneBatch)
{
    for (int i = 0; i < 120; ++i)
    {
        table.AddStore(Id(static_cast<BYTE>(i), 40), false);
    }
    table.AddStore(Id(0xEE, 600), true);
    EXPECT_EQ(S_OK, Find());
    EXPECT_EQ((Lines{"session.OpenMsgStore(600," + HexOf(Id(0xEE, 600)) + ",null,0x84)"}),
              OpenedIds());
}

// The cases without a store: the result, the traces, whether a store was asked for.
struct NoStoreRow
{
    const char* name;
    bool nullSession;
    bool defaultRow;
    HRESULT tableResult;
    HRESULT openResult;
    bool storeEvenOnFailure;
    bool noStoreOnSuccess;
    HRESULT expected;
    Lines traces;
    bool opensStore;
    bool storeLeftInPlace;
};

TEST_F(DefaultStoreTest, WithoutADefaultStoreItFailsAndGivesBackWhatItGot)
{
    const NoStoreRow rows[] = {
        {"null session", true, true, S_OK, S_OK, false, false, MAPI_E_INVALID_PARAMETER, {}, false, false},
        {"empty table", false, false, S_OK, S_OK, false, false, MAPI_E_NOT_FOUND, {}, false, false},
        {"no default row", false, false, S_OK, S_OK, false, false, MAPI_E_NOT_FOUND, {}, false, false},
        {"table refused", false, true, MAPI_E_NO_ACCESS, S_OK, false, false, MAPI_E_NO_ACCESS,
         {"GetMsgStoresTable Failed\n"}, false, false},
        {"OpenMsgStore fails", false, true, S_OK, MAPI_E_LOGON_FAILED, false, false,
         MAPI_E_LOGON_FAILED, {"OpenMsgStore Failed\n"}, true, false},
        {"OpenMsgStore fails leaving a store", false, true, S_OK, MAPI_E_LOGON_FAILED, true, false,
         MAPI_E_LOGON_FAILED, {"OpenMsgStore Failed\n"}, true, true},
        {"OpenMsgStore succeeds without a store", false, true, S_OK, S_OK, false, true,
         MAPI_E_NOT_FOUND, {}, true, false},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        const NoStoreRow& row = rows[i];
        SCOPED_TRACE(row.name);
        CallLog rowLog;
        ScriptedSession rowSession(&rowLog);
        FakeStoreTable rowTable(&rowLog);
        ScriptedStore rowStore(&rowLog);
        rowSession.table = &rowTable;
        rowSession.store = row.noStoreOnSuccess ? NULL : &rowStore;
        rowSession.getTableResult = row.tableResult;
        rowSession.openStoreResult = row.openResult;
        rowSession.storeEvenOnFailure = row.storeEvenOnFailure;
        if (std::string(row.name) != "empty table")
        {
            rowTable.AddStore(Id(0x01), false);
        }
        if (row.defaultRow)
        {
            rowTable.AddStore(Id(0x02), true);
        }
        traces.Clear();

        IMsgStore* rowOpened = NULL;
        EXPECT_EQ(row.expected, GetDefaultStore(row.nullSession ? NULL : &rowSession, &rowOpened));
        EXPECT_EQ(row.traces, traces.Lines());
        EXPECT_EQ(row.opensStore, !rowLog.Matching("session.OpenMsgStore").empty());
        EXPECT_EQ(row.storeLeftInPlace, rowOpened != NULL);
        if (rowOpened != NULL)
        {
            rowOpened->Release();
        }
        EXPECT_EQ(1, rowTable.counter.refs());
        EXPECT_EQ(1, rowStore.counter.refs());
        EXPECT_EQ(baseline, provider.Counters().liveRootBlocks);
    }
}

TEST_F(DefaultStoreTest, TheRowSetIsFreedOnlyAfterTheStoreIsOpen)
{
    // The entry identifier handed to OpenMsgStore lies inside the row set: while the store is
    // being opened the row set (and its rows) must still be alive.
    table.AddStore(Id(0x02), true);
    struct WatchingSession : ScriptedSession
    {
        WatchingSession(CallLog* log, MapiProvider* p) : ScriptedSession(log), provider(p), liveDuringOpen(0) {}
        STDMETHOD(OpenMsgStore)(ULONG_PTR ui, ULONG cb, LPENTRYID id, LPCIID iid, ULONG flags, LPMDB* out)
        {
            liveDuringOpen = provider->Counters().liveRootBlocks;
            return ScriptedSession::OpenMsgStore(ui, cb, id, iid, flags, out);
        }
        MapiProvider* provider;
        LONG liveDuringOpen;
    } watching(&log, &provider);
    watching.table = &table;
    watching.store = &store;
    EXPECT_EQ(S_OK, GetDefaultStore(&watching, &opened));
    EXPECT_EQ(baseline + 2, watching.liveDuringOpen) << "the row set and its one row";
}
