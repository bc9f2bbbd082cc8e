// Owns one open registry key and closes it exactly once.
#pragma once

#include <windows.h>

class RegistryKey
{
public:
    RegistryKey() : m_key(NULL) {}
    ~RegistryKey() { Reset(); }

    HKEY Get() const { return m_key; }

    // Closes what is held first, then hands out the slot for a call that opens a key.
    HKEY* Put()
    {
        Reset();
        return &m_key;
    }

    void Reset()
    {
        if (m_key != NULL)
        {
            RegCloseKey(m_key);
            m_key = NULL;
        }
    }

private:
    RegistryKey(const RegistryKey&);
    RegistryKey& operator=(const RegistryKey&);

    HKEY m_key;
};
