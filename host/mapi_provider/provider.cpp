// A small Extended MAPI provider for Wine's MAPI32.DLL. Wine's mapi32 fails MAPIInitialize and
// stubs HrQueryAllRows unless a provider DLL is configured; this one gives the test bench and the
// host simulator a MAPI that counts what is asked of it, so a missed MAPIUninitialize,
// MAPIFreeBuffer or FreeProws shows up as a counter that does not come back to where it was.
#include <windows.h>
#include <mapix.h>
#include <mapiutil.h>

#include "host/mapi_provider/provider_counters.h"

namespace
{
const DWORD kRootMagic = 0x54425254; // "TBRT"
const DWORD kMoreMagic = 0x54424D52; // "TBMR"
const DWORD kFreedMagic = 0x46524545;
const LONG kBatchRows = 50;

// Each block starts with this header; 16 bytes keep what follows 8-byte aligned, as MAPI
// property values (doubles, 64-bit integers) need. A root block chains the blocks that
// MAPIAllocateMore linked to it, and MAPIFreeBuffer frees the chain with the root.
struct BlockHeader
{
    DWORD magic;
    BlockHeader* next;
    DWORD reserved[2];
};

HANDLE g_heap = NULL;
CRITICAL_SECTION g_lock;
TbProviderCounters g_counters;
HRESULT g_initializeResult = S_OK;

BlockHeader* HeaderOf(void* block)
{
    return reinterpret_cast<BlockHeader*>(static_cast<BYTE*>(block) - sizeof(BlockHeader));
}

void* BodyOf(BlockHeader* header)
{
    return reinterpret_cast<BYTE*>(header) + sizeof(BlockHeader);
}

BlockHeader* NewBlock(ULONG size, DWORD magic)
{
    if (size > 0x7FFFFFFFu - sizeof(BlockHeader))
    {
        return NULL;
    }
    BlockHeader* header =
        static_cast<BlockHeader*>(HeapAlloc(g_heap, HEAP_ZERO_MEMORY, sizeof(BlockHeader) + size));
    if (header != NULL)
    {
        header->magic = magic;
        header->next = NULL;
    }
    return header;
}

// Only memory that this allocator handed out as a root block may be freed; anything else is
// counted instead of being given to the heap, where it would corrupt it.
bool IsRootBlock(void* block)
{
    if (block == NULL || reinterpret_cast<ULONG_PTR>(block) < sizeof(BlockHeader))
    {
        return false;
    }
    BlockHeader* header = HeaderOf(block);
    return HeapValidate(g_heap, 0, header) && header->magic == kRootMagic;
}

void FreeRowsOf(SRow* rows, ULONG count);
} // namespace

extern "C" {

SCODE WINAPI MAPIAllocateBuffer(ULONG size, LPVOID* buffer)
{
    if (buffer == NULL)
    {
        return MAPI_E_INVALID_PARAMETER;
    }
    *buffer = NULL;
    BlockHeader* header = NewBlock(size, kRootMagic);
    if (header == NULL)
    {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    InterlockedIncrement(&g_counters.liveRootBlocks);
    *buffer = BodyOf(header);
    return S_OK;
}

SCODE WINAPI MAPIAllocateMore(ULONG size, LPVOID object, LPVOID* buffer)
{
    if (buffer == NULL)
    {
        return MAPI_E_INVALID_PARAMETER;
    }
    *buffer = NULL;
    if (!IsRootBlock(object))
    {
        InterlockedIncrement(&g_counters.badFrees);
        return MAPI_E_INVALID_PARAMETER;
    }
    BlockHeader* more = NewBlock(size, kMoreMagic);
    if (more == NULL)
    {
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    BlockHeader* root = HeaderOf(object);
    EnterCriticalSection(&g_lock);
    more->next = root->next;
    root->next = more;
    LeaveCriticalSection(&g_lock);
    *buffer = BodyOf(more);
    return S_OK;
}

ULONG WINAPI MAPIFreeBuffer(LPVOID buffer)
{
    if (buffer == NULL)
    {
        return S_OK;
    }
    if (!IsRootBlock(buffer))
    {
        InterlockedIncrement(&g_counters.badFrees);
        return S_OK;
    }
    BlockHeader* root = HeaderOf(buffer);
    EnterCriticalSection(&g_lock);
    BlockHeader* more = root->next;
    root->next = NULL;
    root->magic = kFreedMagic;
    LeaveCriticalSection(&g_lock);
    while (more != NULL)
    {
        BlockHeader* next = more->next;
        more->magic = kFreedMagic;
        HeapFree(g_heap, 0, more);
        more = next;
    }
    HeapFree(g_heap, 0, root);
    InterlockedDecrement(&g_counters.liveRootBlocks);
    return S_OK;
}

HRESULT WINAPI MAPIInitialize(LPVOID /*options*/)
{
    InterlockedIncrement(&g_counters.initializeCalls);
    return g_initializeResult;
}

void WINAPI MAPIUninitialize()
{
    InterlockedIncrement(&g_counters.uninitializeCalls);
}

// Works through the table's own methods as MAPI's does: columns, restriction, sort order, back
// to the first row, then batches until an empty one; every row moves into one row set whose
// rows keep their own property blocks, so FreeProws can free them one by one.
HRESULT WINAPI HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray columns,
                              LPSRestriction restriction, LPSSortOrderSet sortOrder,
                              LONG maxRows, LPSRowSet* rowsOut)
{
    InterlockedIncrement(&g_counters.queryAllRowsCalls);
    if (table == NULL || rowsOut == NULL)
    {
        return MAPI_E_INVALID_PARAMETER;
    }
    *rowsOut = NULL;

    HRESULT hr = S_OK;
    if (columns != NULL)
    {
        hr = table->SetColumns(columns, 0);
    }
    if (SUCCEEDED(hr) && restriction != NULL)
    {
        hr = table->Restrict(restriction, 0);
    }
    if (SUCCEEDED(hr) && sortOrder != NULL)
    {
        hr = table->SortTable(sortOrder, 0);
    }
    if (SUCCEEDED(hr))
    {
        hr = table->SeekRow(BOOKMARK_BEGINNING, 0, NULL);
    }
    if (FAILED(hr))
    {
        return hr;
    }

    SRow* collected = NULL;
    ULONG count = 0;
    ULONG capacity = 0;
    for (;;)
    {
        LPSRowSet batch = NULL;
        hr = table->QueryRows(kBatchRows, 0, &batch);
        if (FAILED(hr))
        {
            if (batch != NULL)
            {
                FreeRowsOf(batch->aRow, batch->cRows);
                MAPIFreeBuffer(batch);
            }
            break;
        }
        if (batch == NULL || batch->cRows == 0)
        {
            MAPIFreeBuffer(batch);
            hr = S_OK;
            break;
        }
        if (count + batch->cRows > capacity)
        {
            ULONG wanted = (count + batch->cRows) * 2;
            SRow* grown = static_cast<SRow*>(
                collected == NULL
                    ? HeapAlloc(GetProcessHeap(), 0, wanted * sizeof(SRow))
                    : HeapReAlloc(GetProcessHeap(), 0, collected, wanted * sizeof(SRow)));
            if (grown == NULL)
            {
                FreeRowsOf(batch->aRow, batch->cRows);
                MAPIFreeBuffer(batch);
                hr = MAPI_E_NOT_ENOUGH_MEMORY;
                break;
            }
            collected = grown;
            capacity = wanted;
        }
        for (ULONG i = 0; i < batch->cRows; ++i)
        {
            collected[count++] = batch->aRow[i];
        }
        MAPIFreeBuffer(batch);
        if (maxRows != 0 && count > static_cast<ULONG>(maxRows))
        {
            hr = MAPI_E_TABLE_TOO_BIG;
            break;
        }
    }

    LPSRowSet all = NULL;
    if (SUCCEEDED(hr))
    {
        hr = MAPIAllocateBuffer(CbNewSRowSet(count), reinterpret_cast<LPVOID*>(&all));
    }
    if (SUCCEEDED(hr))
    {
        all->cRows = count;
        for (ULONG i = 0; i < count; ++i)
        {
            all->aRow[i] = collected[i];
        }
        *rowsOut = all;
    }
    else
    {
        FreeRowsOf(collected, count);
    }
    if (collected != NULL)
    {
        HeapFree(GetProcessHeap(), 0, collected);
    }
    return hr;
}

void WINAPI TbProviderGetCounters(TbProviderCounters* counters)
{
    if (counters != NULL)
    {
        counters->initializeCalls = g_counters.initializeCalls;
        counters->uninitializeCalls = g_counters.uninitializeCalls;
        counters->liveRootBlocks = g_counters.liveRootBlocks;
        counters->badFrees = g_counters.badFrees;
        counters->queryAllRowsCalls = g_counters.queryAllRowsCalls;
    }
}

void WINAPI TbProviderReset()
{
    InterlockedExchange(&g_counters.initializeCalls, 0);
    InterlockedExchange(&g_counters.uninitializeCalls, 0);
    InterlockedExchange(&g_counters.badFrees, 0);
    InterlockedExchange(&g_counters.queryAllRowsCalls, 0);
    g_initializeResult = S_OK;
}

void WINAPI TbProviderSetInitializeResult(HRESULT result)
{
    g_initializeResult = result;
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID /*reserved*/)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_heap = HeapCreate(0, 0, 0);
        if (g_heap == NULL)
        {
            return FALSE;
        }
        InitializeCriticalSection(&g_lock);
    }
    else if (reason == DLL_PROCESS_DETACH)
    {
        // Blocks still alive at exit stay with the heap; the process is going away.
        DeleteCriticalSection(&g_lock);
    }
    return TRUE;
}

} // extern "C"

namespace
{
void FreeRowsOf(SRow* rows, ULONG count)
{
    for (ULONG i = 0; i < count; ++i)
    {
        MAPIFreeBuffer(rows[i].lpProps);
    }
}
} // namespace
