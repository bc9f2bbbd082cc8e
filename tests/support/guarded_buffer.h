// A host-owned text buffer with guard bytes on both sides and a fill pattern inside, so a write
// past either end, or any write at all where none is allowed, is seen.
#pragma once

#include <string.h>
#include <string>
#include <vector>

class GuardedBuffer
{
public:
    static const unsigned char kGuard = 0xFD;
    static const unsigned char kFill = 0xCC;
    static const size_t kGuardSize = 16;

    explicit GuardedBuffer(size_t size) : m_size(size), m_bytes(size + 2 * kGuardSize, kGuard)
    {
        memset(&m_bytes[kGuardSize], kFill, size);
    }

    char* data() { return reinterpret_cast<char*>(&m_bytes[kGuardSize]); }
    size_t size() const { return m_size; }

    bool GuardsIntact() const
    {
        for (size_t i = 0; i < kGuardSize; ++i)
        {
            if (m_bytes[i] != kGuard || m_bytes[kGuardSize + m_size + i] != kGuard)
            {
                return false;
            }
        }
        return true;
    }

    bool Untouched() const
    {
        for (size_t i = 0; i < m_size; ++i)
        {
            if (m_bytes[kGuardSize + i] != kFill)
            {
                return false;
            }
        }
        return GuardsIntact();
    }

    // Bytes written from the start: up to the first fill byte that follows a NUL.
    std::string Text() const { return std::string(reinterpret_cast<const char*>(&m_bytes[kGuardSize]), strnlen(reinterpret_cast<const char*>(&m_bytes[kGuardSize]), m_size)); }

    // Number of bytes at the start that differ from the fill pattern.
    size_t BytesWritten() const
    {
        size_t last = 0;
        for (size_t i = 0; i < m_size; ++i)
        {
            if (m_bytes[kGuardSize + i] != kFill)
            {
                last = i + 1;
            }
        }
        return last;
    }

private:
    size_t m_size;
    std::vector<unsigned char> m_bytes;
};
