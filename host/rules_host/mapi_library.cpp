#include "host/rules_host/mapi_library.h"

namespace
{

FARPROC Find(HMODULE module, const char* name, const char* decorated)
{
    if (module == NULL)
    {
        return NULL;
    }
    FARPROC found = GetProcAddress(module, name);
    return found != NULL ? found : GetProcAddress(module, decorated);
}

template <class Function>
Function As(FARPROC address)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

} // namespace

MapiLibrary& MapiLibrary::Instance()
{
    static MapiLibrary library;
    return library;
}

MapiLibrary::MapiLibrary() : m_module(LoadLibraryA("mapi32.dll"))
{
    m_allocateBuffer = As<LPMAPIALLOCATEBUFFER>(Find(m_module, "MAPIAllocateBuffer", "MAPIAllocateBuffer@8"));
    m_allocateMore = As<LPMAPIALLOCATEMORE>(Find(m_module, "MAPIAllocateMore", "MAPIAllocateMore@12"));
    m_freeBuffer = As<LPMAPIFREEBUFFER>(Find(m_module, "MAPIFreeBuffer", "MAPIFreeBuffer@4"));
    m_initialize = As<LPMAPIINITIALIZE>(Find(m_module, "MAPIInitialize", "MAPIInitialize@4"));
    m_uninitialize = As<LPMAPIUNINITIALIZE>(Find(m_module, "MAPIUninitialize", "MAPIUninitialize@0"));
}

SCODE MapiLibrary::AllocateBuffer(ULONG size, LPVOID* buffer) const
{
    *buffer = NULL;
    return m_allocateBuffer != NULL ? m_allocateBuffer(size, buffer) : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE MapiLibrary::AllocateMore(ULONG size, LPVOID root, LPVOID* buffer) const
{
    *buffer = NULL;
    return m_allocateMore != NULL ? m_allocateMore(size, root, buffer) : MAPI_E_NOT_ENOUGH_MEMORY;
}

ULONG MapiLibrary::FreeBuffer(LPVOID buffer) const
{
    return m_freeBuffer != NULL && buffer != NULL ? m_freeBuffer(buffer) : 0;
}

HRESULT MapiLibrary::Initialize() const
{
    return m_initialize != NULL ? m_initialize(NULL) : MAPI_E_NOT_INITIALIZED;
}

void MapiLibrary::Uninitialize() const
{
    if (m_uninitialize != NULL)
    {
        m_uninitialize();
    }
}
