// Reads the counters of the MAPI provider DLL that the test prefix configures for MAPI32
// (host/mapi_provider): MAPIInitialize/MAPIUninitialize calls and live MAPI memory blocks.
#pragma once

#include "host/mapi_provider/provider_counters.h"

class MapiProvider
{
public:
    // Finds the provider; loads MAPI32 first so that it is there.
    MapiProvider();

    bool ok() const { return m_get != NULL && m_reset != NULL && m_setInitialize != NULL; }
    TbProviderCounters Counters() const;
    void Reset() const;
    void SetInitializeResult(HRESULT result) const;

private:
    TbProviderGetCountersFn m_get;
    TbProviderResetFn m_reset;
    TbProviderSetInitializeResultFn m_setInitialize;
};
