// The prefix's MAPI provider as MAPI's callers see it through Wine's MAPI32: HrQueryAllRows
// working through the table's own methods, and the counting allocator. The host simulator
// relies on the same behaviour.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mapi/mapi_defs.h"
#include "support/mapi_provider_client.h"
#include "support/mapi_scripted_fakes.h"

namespace
{
typedef std::vector<std::string> Lines;

Lines CallsOf(const CallLog& log)
{
    Lines calls;
    for (size_t i = 0; i < log.entries().size(); ++i)
    {
        if (log.entries()[i].find(".AddRef") == std::string::npos &&
            log.entries()[i].find(".Release") == std::string::npos)
        {
            calls.push_back(log.entries()[i]);
        }
    }
    return calls;
}

class ProviderTest : public ::testing::Test
{
protected:
    ProviderTest() : table(&log), baseline(0) {}

    void SetUp() override
    {
        ASSERT_TRUE(provider.ok());
        provider.Reset();
        baseline = provider.Counters().liveRootBlocks;
        for (int i = 0; i < 120; ++i)
        {
            table.AddStore(std::vector<BYTE>(3, static_cast<BYTE>(i)), i % 40 == 0);
        }
        columns.cValues = 2;
        columns.aulPropTag[0] = PR_ENTRYID;
        columns.aulPropTag[1] = PR_DEFAULT_STORE;
        isDefault.ulPropTag = PR_DEFAULT_STORE;
        isDefault.Value.b = TRUE;
        restriction.rt = RES_PROPERTY;
        restriction.res.resProperty.relop = RELOP_EQ;
        restriction.res.resProperty.ulPropTag = PR_DEFAULT_STORE;
        restriction.res.resProperty.lpProp = &isDefault;
    }

    void TearDown() override
    {
        EXPECT_EQ(baseline, provider.Counters().liveRootBlocks) << "nothing left allocated";
        EXPECT_EQ(1, table.counter.refs());
    }

    HRESULT QueryAll(LONG maxRows, LPSRowSet* rows, bool sort = false)
    {
        SSortOrderSet order;
        order.cSorts = 0;
        order.cCategories = 0;
        order.cExpanded = 0;
        return HrQueryAllRows(&table, reinterpret_cast<LPSPropTagArray>(&columns), &restriction,
                              sort ? &order : NULL, maxRows, rows);
    }

    CallLog log;
    FakeStoreTable table;
    MapiProvider provider;
    LONG baseline;
    SizedSPropTagArray(2, columns);
    SPropValue isDefault;
    SRestriction restriction;
};
} // namespace

TEST_F(ProviderTest, QueriesAllRowsThroughTheTableInOrder)
{
    LPSRowSet rows = NULL;
    table.rows.clear();
    for (int i = 0; i < 120; ++i)
    {
        table.AddStore(std::vector<BYTE>(3, static_cast<BYTE>(i)), true);
    }
    ASSERT_EQ(S_OK, QueryAll(0, &rows, true));
    ASSERT_TRUE(rows != NULL);
    EXPECT_EQ(120u, rows->cRows);
    EXPECT_EQ(PR_ENTRYID, rows->aRow[119].lpProps[0].ulPropTag);
    EXPECT_EQ(119, rows->aRow[119].lpProps[0].Value.bin.lpb[0]);
    EXPECT_EQ((Lines{"table.SetColumns(0xFFF0102,0x3400000B;0)",
                     "table.Restrict(rt=4 relop=4 tag=0x3400000B value=0x3400000B:1;0)",
                     "table.SortTable", "table.SeekRow(0,0)", "table.QueryRows(50)",
                     "table.QueryRows(50)", "table.QueryRows(50)", "table.QueryRows(50)"}),
              CallsOf(log));
    // One block for the set and one for each row, each row's values its own root block.
    EXPECT_EQ(baseline + 121, provider.Counters().liveRootBlocks);
    FreeProws(rows);
}

TEST_F(ProviderTest, AppliesTheRestriction)
{
    LPSRowSet rows = NULL;
    ASSERT_EQ(S_OK, QueryAll(0, &rows));
    ASSERT_TRUE(rows != NULL);
    EXPECT_EQ(3u, rows->cRows);
    EXPECT_EQ(40, rows->aRow[1].lpProps[0].Value.bin.lpb[0]);
    FreeProws(rows);
}

struct QueryFailureRow
{
    const char* name;
    HRESULT setColumns;
    HRESULT restrict;
    HRESULT queryRows;
    int failingQueryRows;
    LONG maxRows;
    HRESULT expected;
};

TEST_F(ProviderTest, AFailingQueryLeavesNothingAllocated)
{
    const QueryFailureRow rows[] = {
        {"SetColumns fails", MAPI_E_BUSY, S_OK, S_OK, 0, 0, MAPI_E_BUSY},
        {"Restrict fails", S_OK, MAPI_E_TOO_COMPLEX, S_OK, 0, 0, MAPI_E_TOO_COMPLEX},
        {"first QueryRows fails", S_OK, S_OK, MAPI_E_TIMEOUT, 1, 0, MAPI_E_TIMEOUT},
        {"second QueryRows fails", S_OK, S_OK, MAPI_E_TIMEOUT, 2, 0, MAPI_E_TIMEOUT},
        {"more rows than allowed", S_OK, S_OK, S_OK, 0, 2, MAPI_E_TABLE_TOO_BIG},
        {"as many rows as allowed", S_OK, S_OK, S_OK, 0, 3, S_OK},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        SCOPED_TRACE(rows[i].name);
        CallLog rowLog;
        FakeStoreTable rowTable(&rowLog);
        for (int r = 0; r < 120; ++r)
        {
            rowTable.AddStore(std::vector<BYTE>(3, static_cast<BYTE>(r)), r % 40 == 0 || r > 100);
        }
        rowTable.setColumnsResult = rows[i].setColumns;
        rowTable.restrictResult = rows[i].restrict;
        rowTable.queryRowsResult = rows[i].queryRows;
        rowTable.queryRowsFailOnCall = rows[i].failingQueryRows;
        if (rows[i].maxRows == 3)
        {
            rowTable.rows.resize(100);
        }
        LPSRowSet result = reinterpret_cast<LPSRowSet>(1);
        EXPECT_EQ(rows[i].expected,
                  HrQueryAllRows(&rowTable, reinterpret_cast<LPSPropTagArray>(&columns),
                                 &restriction, NULL, rows[i].maxRows, &result));
        if (FAILED(rows[i].expected))
        {
            EXPECT_TRUE(result == NULL);
        }
        FreeProws(SUCCEEDED(rows[i].expected) ? result : NULL);
        EXPECT_EQ(baseline, provider.Counters().liveRootBlocks);
    }
}

TEST_F(ProviderTest, BlocksLinkedWithAllocateMoreGoWithTheirRoot)
{
    void* root = NULL;
    void* more = NULL;
    ASSERT_EQ(S_OK, MAPIAllocateBuffer(16, &root));
    ASSERT_EQ(S_OK, MAPIAllocateMore(4000, root, &more));
    memset(more, 0x5A, 4000);
    EXPECT_EQ(baseline + 1, provider.Counters().liveRootBlocks);
    MAPIFreeBuffer(root);
    EXPECT_EQ(0, provider.Counters().badFrees);
}

TEST_F(ProviderTest, FreeingMemoryItNeverHandedOutIsCountedNotDone)
{
    static char notMapiMemory[64];
    MAPIFreeBuffer(notMapiMemory + 32);
    EXPECT_EQ(1, provider.Counters().badFrees);
    provider.Reset();
}

TEST_F(ProviderTest, CountsInitializeAndUninitialize)
{
    EXPECT_EQ(S_OK, MAPIInitialize(NULL));
    MAPIUninitialize();
    provider.SetInitializeResult(MAPI_E_NOT_INITIALIZED);
    EXPECT_EQ(MAPI_E_NOT_INITIALIZED, MAPIInitialize(NULL));
    const TbProviderCounters counters = provider.Counters();
    EXPECT_EQ(2, counters.initializeCalls);
    EXPECT_EQ(1, counters.uninitializeCalls);
    provider.Reset();
}
