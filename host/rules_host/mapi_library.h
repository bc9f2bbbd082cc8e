// MAPI32.DLL as the host uses it: its allocator (what MAPI code frees later must come from it)
// and its initialisation. Looked up at run time by the names MAPI32.DLL exports.
#pragma once

#include <mapix.h>

class MapiLibrary
{
public:
    static MapiLibrary& Instance();

    bool loaded() const { return m_allocateBuffer != NULL && m_allocateMore != NULL && m_freeBuffer != NULL; }
    SCODE AllocateBuffer(ULONG size, LPVOID* buffer) const;
    SCODE AllocateMore(ULONG size, LPVOID root, LPVOID* buffer) const;
    ULONG FreeBuffer(LPVOID buffer) const;
    HRESULT Initialize() const;
    void Uninitialize() const;

private:
    MapiLibrary();

    HMODULE m_module;
    LPMAPIALLOCATEBUFFER m_allocateBuffer;
    LPMAPIALLOCATEMORE m_allocateMore;
    LPMAPIFREEBUFFER m_freeBuffer;
    LPMAPIINITIALIZE m_initialize;
    LPMAPIUNINITIALIZE m_uninitialize;
};
