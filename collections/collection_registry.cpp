#include "collections/collection_registry.h"

#include <string.h>
#include <windows.h>

#include "classlib/cstring.h"
#include "collections/registry_key.h"

namespace
{
const char kValueName[] = "Name";

CString CollectionKeyPath(int number)
{
    CString path;
    path.Format("Software\\Tallybook\\Groups\\Group%d", number);
    return path;
}
} // namespace

bool ReadCollectionName(int number, char* name)
{
    const CString path = CollectionKeyPath(number);
    RegistryKey key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS ||
        key.Get() == NULL)
    {
        return false;
    }
    // The type is asked for but not examined: whatever the value holds is taken as the name.
    DWORD type = REG_NONE;
    DWORD size = kCollectionNameBufferSize;
    const LONG status = RegQueryValueExA(key.Get(), kValueName, NULL, &type,
                                         reinterpret_cast<BYTE*>(name), &size);
    key.Reset();
    if (status != ERROR_SUCCESS)
    {
        return false;
    }
    // A value stored without its terminating NUL (another program's REG_SZ, a REG_BINARY or
    // REG_DWORD) is still a name of `size` bytes. Only a value that fills all 30 bytes
    // without a NUL is a name of 30 characters or more, which does not fit.
    if (memchr(name, '\0', size) == NULL)
    {
        if (size >= static_cast<DWORD>(kCollectionNameBufferSize))
        {
            return false;
        }
        name[size] = '\0';
    }
    return true;
}

void WriteCollectionName(int number, const char* name)
{
    const CString path = CollectionKeyPath(number);
    RegistryKey key;
    DWORD disposition = 0;
    RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                    NULL, key.Put(), &disposition);
    if (key.Get() == NULL)
    {
        return;
    }
    RegSetValueExA(key.Get(), kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                   static_cast<DWORD>(lstrlenA(name) + 1));
}

bool IsCollectionNumberFree(int number)
{
    const CString path = CollectionKeyPath(number);
    RegistryKey key;
    const LONG status = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, key.Put());
    if (status == ERROR_FILE_NOT_FOUND)
    {
        return true;
    }
    if (status != ERROR_SUCCESS || key.Get() == NULL)
    {
        return false; // there, but not ours to look into: never write over it
    }
    return RegQueryValueExA(key.Get(), kValueName, NULL, NULL, NULL, NULL) ==
           ERROR_FILE_NOT_FOUND;
}
