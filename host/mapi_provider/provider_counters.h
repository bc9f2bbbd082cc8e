// What tests read from the MAPI provider DLL that the test prefix configures for MAPI32:
// counts of the calls mapi32 forwarded to it and of the memory blocks still alive. Tests find
// the DLL with GetModuleHandleA(kTbMapiProviderDll) once mapi32 has loaded it.
#pragma once

#include <windows.h>

#define TB_MAPI_PROVIDER_DLL "tb_mapi_provider.dll"

struct TbProviderCounters
{
    LONG initializeCalls;   // MAPIInitialize calls, failed ones included
    LONG uninitializeCalls; // MAPIUninitialize calls
    LONG liveRootBlocks;    // MAPIAllocateBuffer blocks not yet given to MAPIFreeBuffer
    LONG badFrees;          // MAPIFreeBuffer calls on memory this allocator never handed out
    LONG queryAllRowsCalls; // HrQueryAllRows calls
};

// Copies the counters.
typedef void(WINAPI* TbProviderGetCountersFn)(TbProviderCounters* counters);
// Sets the call counters to 0 and MAPIInitialize back to succeeding. The live block count is
// left alone: it always counts every block still allocated.
typedef void(WINAPI* TbProviderResetFn)();
// The result the following MAPIInitialize calls return (S_OK by default).
typedef void(WINAPI* TbProviderSetInitializeResultFn)(HRESULT result);
