#include "support/mapi_provider_client.h"

namespace
{
template <class Fn> Fn Lookup(HMODULE module, const char* name)
{
    return module == NULL ? NULL
                          : reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}
} // namespace

MapiProvider::MapiProvider() : m_get(NULL), m_reset(NULL), m_setInitialize(NULL)
{
    LoadLibraryA("mapi32.dll");
    HMODULE module = GetModuleHandleA(TB_MAPI_PROVIDER_DLL);
    m_get = Lookup<TbProviderGetCountersFn>(module, "TbProviderGetCounters");
    m_reset = Lookup<TbProviderResetFn>(module, "TbProviderReset");
    m_setInitialize = Lookup<TbProviderSetInitializeResultFn>(module, "TbProviderSetInitializeResult");
}

TbProviderCounters MapiProvider::Counters() const
{
    TbProviderCounters counters = {0, 0, 0, 0, 0};
    if (m_get != NULL)
    {
        m_get(&counters);
    }
    return counters;
}

void MapiProvider::Reset() const
{
    if (m_reset != NULL)
    {
        m_reset();
    }
}

void MapiProvider::SetInitializeResult(HRESULT result) const
{
    if (m_setInitialize != NULL)
    {
        m_setInitialize(result);
    }
}
