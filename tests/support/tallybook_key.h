// The test's own copy of HKEY_CURRENT_USER\Software\Tallybook: deleted before each test, so no
// test relies on what an earlier one left. Tests that use it hold the CTest resource lock
// tallybook_groups_key.
#pragma once

#include <string>
#include <windows.h>

namespace tallybook_key
{
inline void DeleteAll()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Tallybook");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tallybook");
}

inline std::string GroupPath(int number)
{
    return "Software\\Tallybook\\Groups\\Group" + std::to_string(number);
}

// Creates Group<number> and, unless `data` is NULL, its "Name" value with exactly these bytes.
inline void StoreRaw(int number, DWORD type, const void* data, DWORD size)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, GroupPath(number).c_str(), 0, NULL, 0,
                        KEY_ALL_ACCESS, NULL, &key, NULL) == ERROR_SUCCESS)
    {
        if (data != NULL)
        {
            RegSetValueExA(key, "Name", 0, type, static_cast<const BYTE*>(data), size);
        }
        RegCloseKey(key);
    }
}

inline void StoreName(int number, const std::string& name)
{
    StoreRaw(number, REG_SZ, name.c_str(), static_cast<DWORD>(name.size() + 1));
}

// The stored "Name" of Group<number> as its raw bytes; `found` false when key or value is
// missing.
inline std::string LoadRaw(int number, bool* found, DWORD* type = NULL)
{
    *found = false;
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, GroupPath(number).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
    {
        return std::string();
    }
    char bytes[512];
    DWORD size = sizeof(bytes);
    DWORD valueType = 0;
    const LONG status = RegQueryValueExA(key, "Name", NULL, &valueType,
                                         reinterpret_cast<BYTE*>(bytes), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS)
    {
        return std::string();
    }
    *found = true;
    if (type != NULL)
    {
        *type = valueType;
    }
    return std::string(bytes, size);
}

// The stored name as text (without its NUL), or "<none>".
inline std::string LoadName(int number)
{
    bool found = false;
    std::string raw = LoadRaw(number, &found);
    if (!found)
    {
        return "<none>";
    }
    const std::string::size_type nul = raw.find('\0');
    return nul == std::string::npos ? raw : raw.substr(0, nul);
}

inline bool KeyExists(const char* path)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}
} // namespace tallybook_key
