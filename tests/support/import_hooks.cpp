#include "support/import_hooks.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <objbase.h>
#include <oleauto.h>
#include <mapix.h>
#include <mapiutil.h>

#include "support/fault_injection.h"

namespace
{
ImportCounts g_counts = {0, 0};

// The platform's own functions, taken from the import table before it is rewritten.
struct Originals
{
    HRESULT(WINAPI* MAPIInitialize)(LPVOID);
    HRESULT(WINAPI* HrQueryAllRows)(LPMAPITABLE, LPSPropTagArray, LPSRestriction,
                                    LPSSortOrderSet, LONG, LPSRowSet*);
    HRESULT(WINAPI* HrGetOneProp)(LPMAPIPROP, ULONG, LPSPropValue*);
    HRESULT(WINAPI* CoInitialize)(LPVOID);
    void(WINAPI* CoUninitialize)();
    HRESULT(WINAPI* CLSIDFromProgID)(LPCOLESTR, LPCLSID);
    HRESULT(WINAPI* CoCreateInstance)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID*);
    HRESULT(WINAPI* GetErrorInfo)(ULONG, IErrorInfo**);
    BSTR(WINAPI* SysAllocString)(const OLECHAR*);
    BSTR(WINAPI* SysAllocStringLen)(const OLECHAR*, UINT);
    HRESULT(WINAPI* VariantClear)(VARIANTARG*);
    HRESULT(WINAPI* VariantChangeType)(VARIANTARG*, const VARIANTARG*, USHORT, VARTYPE);
    HWND(WINAPI* GetActiveWindow)();
    void*(__cdecl* malloc)(size_t);
    void*(__cdecl* calloc)(size_t, size_t);
    void*(__cdecl* realloc)(void*, size_t);
    char*(__cdecl* strdup)(const char*);
    LONG(WINAPI* RegOpenKeyExA)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
    LONG(WINAPI* RegQueryValueExA)(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
    LONG(WINAPI* RegCreateKeyExA)(HKEY, LPCSTR, DWORD, LPSTR, DWORD, REGSAM,
                                  LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
    LONG(WINAPI* RegSetValueExA)(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD);
    INT_PTR(WINAPI* DialogBoxParamA)(HINSTANCE, LPCSTR, HWND, DLGPROC, LPARAM);
    int(WINAPI* LoadStringA)(HINSTANCE, UINT, LPSTR, int);
    HWND(WINAPI* GetDlgItem)(HWND, int);
    int(WINAPI* GetWindowTextA)(HWND, LPSTR, int);
    LRESULT(WINAPI* SendMessageA)(HWND, UINT, WPARAM, LPARAM);
};
Originals g_real;

FaultOutcome At(const char* name, bool nullable)
{
    return FaultInjector::Instance().At(name, nullable);
}

HRESULT WINAPI HookMAPIInitialize(LPVOID options)
{
    if (At("MAPIInitialize", false) != kFaultGo)
    {
        return kInjectedFailure;
    }
    return g_real.MAPIInitialize(options);
}

HRESULT WINAPI HookHrQueryAllRows(LPMAPITABLE table, LPSPropTagArray columns,
                                  LPSRestriction restriction, LPSSortOrderSet sortOrder,
                                  LONG maxRows, LPSRowSet* rows)
{
    switch (At("HrQueryAllRows", true))
    {
    case kFaultFails:
        return kInjectedFailure;
    case kFaultNothing:
        *rows = NULL;
        return S_OK;
    default:
        break;
    }
    FaultScope scope("HrQueryAllRows");
    return g_real.HrQueryAllRows(table, columns, restriction, sortOrder, maxRows, rows);
}

HRESULT WINAPI HookHrGetOneProp(LPMAPIPROP object, ULONG tag, LPSPropValue* value)
{
    switch (At("HrGetOneProp", true))
    {
    case kFaultFails:
        *value = NULL;
        return kInjectedFailure;
    case kFaultNothing:
        *value = NULL;
        return S_OK;
    default:
        break;
    }
    FaultScope scope("HrGetOneProp");
    return g_real.HrGetOneProp(object, tag, value);
}

HRESULT WINAPI HookCoInitialize(LPVOID reserved)
{
    if (At("CoInitialize", false) != kFaultGo)
    {
        return kInjectedFailure;
    }
    const HRESULT hr = g_real.CoInitialize(reserved);
    if (SUCCEEDED(hr))
    {
        ++g_counts.coInitializeSucceeded;
    }
    return hr;
}

void WINAPI HookCoUninitialize()
{
    ++g_counts.coUninitialize;
    g_real.CoUninitialize();
}

HRESULT WINAPI HookCLSIDFromProgID(LPCOLESTR progId, LPCLSID clsid)
{
    if (At("CLSIDFromProgID", false) != kFaultGo)
    {
        return kInjectedFailure;
    }
    return g_real.CLSIDFromProgID(progId, clsid);
}

HRESULT WINAPI HookCoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                                    LPVOID* object)
{
    switch (At("CoCreateInstance", true))
    {
    case kFaultFails:
        *object = NULL;
        return kInjectedFailure;
    case kFaultNothing:
        *object = NULL;
        return S_OK;
    default:
        break;
    }
    FaultScope scope("CoCreateInstance");
    return g_real.CoCreateInstance(clsid, outer, context, iid, object);
}

HRESULT WINAPI HookGetErrorInfo(ULONG reserved, IErrorInfo** info)
{
    if (At("GetErrorInfo", false) != kFaultGo)
    {
        *info = NULL;
        return kInjectedFailure;
    }
    return g_real.GetErrorInfo(reserved, info);
}

BSTR WINAPI HookSysAllocString(const OLECHAR* text)
{
    return At("SysAllocString", false) != kFaultGo ? NULL : g_real.SysAllocString(text);
}

BSTR WINAPI HookSysAllocStringLen(const OLECHAR* text, UINT length)
{
    return At("SysAllocStringLen", false) != kFaultGo ? NULL
                                                      : g_real.SysAllocStringLen(text, length);
}

// A real VariantClear fails only on types it cannot clear, which the module never builds; the
// injected failure clears first, so what it reports is the failure alone, not a leak.
HRESULT WINAPI HookVariantClear(VARIANTARG* value)
{
    const bool fails = At("VariantClear", false) != kFaultGo;
    const HRESULT hr = g_real.VariantClear(value);
    return fails ? kInjectedFailure : hr;
}

HRESULT WINAPI HookVariantChangeType(VARIANTARG* to, const VARIANTARG* from, USHORT flags,
                                     VARTYPE type)
{
    if (At("VariantChangeType", false) != kFaultGo)
    {
        return kInjectedFailure;
    }
    return g_real.VariantChangeType(to, from, flags, type);
}

// No active window is an ordinary answer, never a failure.
HWND WINAPI HookGetActiveWindow()
{
    return At("GetActiveWindow", true) != kFaultGo ? NULL : g_real.GetActiveWindow();
}

void* __cdecl HookMalloc(size_t size)
{
    if (At("malloc", false) != kFaultGo)
    {
        errno = ENOMEM;
        return NULL;
    }
    return g_real.malloc(size);
}

void* __cdecl HookCalloc(size_t count, size_t size)
{
    if (At("calloc", false) != kFaultGo)
    {
        errno = ENOMEM;
        return NULL;
    }
    return g_real.calloc(count, size);
}

void* __cdecl HookRealloc(void* block, size_t size)
{
    if (At("realloc", false) != kFaultGo)
    {
        errno = ENOMEM;
        return NULL;
    }
    return g_real.realloc(block, size);
}

char* __cdecl HookStrdup(const char* text)
{
    if (At("_strdup", false) != kFaultGo)
    {
        errno = ENOMEM;
        return NULL;
    }
    return g_real.strdup(text);
}

LONG WINAPI HookRegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                              PHKEY result)
{
    if (At("RegOpenKeyExA", false) != kFaultGo)
    {
        return ERROR_ACCESS_DENIED;
    }
    return g_real.RegOpenKeyExA(key, subKey, options, access, result);
}

LONG WINAPI HookRegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type,
                                 LPBYTE data, LPDWORD size)
{
    if (At("RegQueryValueExA", false) != kFaultGo)
    {
        return ERROR_ACCESS_DENIED;
    }
    return g_real.RegQueryValueExA(key, name, reserved, type, data, size);
}

LONG WINAPI HookRegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass,
                                DWORD options, REGSAM access, LPSECURITY_ATTRIBUTES security,
                                PHKEY result, LPDWORD disposition)
{
    if (At("RegCreateKeyExA", false) != kFaultGo)
    {
        return ERROR_ACCESS_DENIED;
    }
    return g_real.RegCreateKeyExA(key, subKey, reserved, keyClass, options, access, security,
                                  result, disposition);
}

LONG WINAPI HookRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                               const BYTE* data, DWORD size)
{
    if (At("RegSetValueExA", false) != kFaultGo)
    {
        return ERROR_ACCESS_DENIED;
    }
    return g_real.RegSetValueExA(key, name, reserved, type, data, size);
}

// No dialog: DialogBoxParam's -1.
INT_PTR WINAPI HookDialogBoxParamA(HINSTANCE instance, LPCSTR resource, HWND parent,
                                   DLGPROC procedure, LPARAM parameter)
{
    if (At("DialogBoxParamA", false) != kFaultGo)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    return g_real.DialogBoxParamA(instance, resource, parent, procedure, parameter);
}

int WINAPI HookLoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int size)
{
    if (At("LoadStringA", false) != kFaultGo)
    {
        if (buffer != NULL && size > 0)
        {
            buffer[0] = '\0';
        }
        return 0;
    }
    return g_real.LoadStringA(instance, id, buffer, size);
}

HWND WINAPI HookGetDlgItem(HWND dialog, int id)
{
    if (At("GetDlgItem", true) != kFaultGo)
    {
        return NULL;
    }
    return g_real.GetDlgItem(dialog, id);
}

int WINAPI HookGetWindowTextA(HWND window, LPSTR buffer, int size)
{
    if (At("GetWindowTextA", false) != kFaultGo)
    {
        if (buffer != NULL && size > 0)
        {
            buffer[0] = '\0';
        }
        return 0;
    }
    return g_real.GetWindowTextA(window, buffer, size);
}

// List-box messages are the ones that can fail (no room for a string, no such item); every
// other message goes through uncounted.
LRESULT WINAPI HookSendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= LB_ADDSTRING && message <= LB_MSGMAX)
    {
        char name[40];
        wsprintfA(name, "SendMessageA(LB 0x%X)", message);
        if (At(name, false) != kFaultGo)
        {
            return message == LB_ADDSTRING || message == LB_INSERTSTRING ? LB_ERRSPACE : LB_ERR;
        }
    }
    return g_real.SendMessageA(window, message, wParam, lParam);
}

struct HookEntry
{
    const char* function; // as the import table names it
    void* hook;
    void** original;
};

#define TB_HOOK(name, member, hook)                                                              \
    {name, reinterpret_cast<void*>(hook), reinterpret_cast<void**>(&g_real.member)}

const HookEntry kHooks[] = {
    TB_HOOK("MAPIInitialize", MAPIInitialize, HookMAPIInitialize),
    TB_HOOK("HrQueryAllRows@24", HrQueryAllRows, HookHrQueryAllRows),
    TB_HOOK("HrGetOneProp@12", HrGetOneProp, HookHrGetOneProp),
    TB_HOOK("CoInitialize", CoInitialize, HookCoInitialize),
    TB_HOOK("CoUninitialize", CoUninitialize, HookCoUninitialize),
    TB_HOOK("CLSIDFromProgID", CLSIDFromProgID, HookCLSIDFromProgID),
    TB_HOOK("CoCreateInstance", CoCreateInstance, HookCoCreateInstance),
    TB_HOOK("GetErrorInfo", GetErrorInfo, HookGetErrorInfo),
    TB_HOOK("SysAllocString", SysAllocString, HookSysAllocString),
    TB_HOOK("SysAllocStringLen", SysAllocStringLen, HookSysAllocStringLen),
    TB_HOOK("VariantClear", VariantClear, HookVariantClear),
    TB_HOOK("VariantChangeType", VariantChangeType, HookVariantChangeType),
    TB_HOOK("GetActiveWindow", GetActiveWindow, HookGetActiveWindow),
    TB_HOOK("malloc", malloc, HookMalloc),
    TB_HOOK("calloc", calloc, HookCalloc),
    TB_HOOK("realloc", realloc, HookRealloc),
    TB_HOOK("_strdup", strdup, HookStrdup),
    TB_HOOK("RegOpenKeyExA", RegOpenKeyExA, HookRegOpenKeyExA),
    TB_HOOK("RegQueryValueExA", RegQueryValueExA, HookRegQueryValueExA),
    TB_HOOK("RegCreateKeyExA", RegCreateKeyExA, HookRegCreateKeyExA),
    TB_HOOK("RegSetValueExA", RegSetValueExA, HookRegSetValueExA),
    TB_HOOK("DialogBoxParamA", DialogBoxParamA, HookDialogBoxParamA),
    TB_HOOK("LoadStringA", LoadStringA, HookLoadStringA),
    TB_HOOK("GetDlgItem", GetDlgItem, HookGetDlgItem),
    TB_HOOK("GetWindowTextA", GetWindowTextA, HookGetWindowTextA),
    TB_HOOK("SendMessageA", SendMessageA, HookSendMessageA),
};

const HookEntry* HookFor(const char* function)
{
    for (size_t i = 0; i < sizeof(kHooks) / sizeof(kHooks[0]); ++i)
    {
        if (strcmp(kHooks[i].function, function) == 0)
        {
            return &kHooks[i];
        }
    }
    return NULL;
}

void WriteSlot(void** slot, void* value)
{
    DWORD protection = 0;
    if (VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &protection))
    {
        *slot = value;
        VirtualProtect(slot, sizeof(void*), protection, &protection);
    }
}
} // namespace

ImportHooks::ImportHooks(HMODULE module)
{
    if (module == NULL)
    {
        return;
    }
    BYTE* base = reinterpret_cast<BYTE*>(module);
    const IMAGE_DOS_HEADER* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const IMAGE_NT_HEADERS* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
    {
        return;
    }
    for (const IMAGE_IMPORT_DESCRIPTOR* d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d)
    {
        const char* dll = reinterpret_cast<const char*>(base + d->Name);
        if (d->OriginalFirstThunk == 0)
        {
            continue;
        }
        const IMAGE_THUNK_DATA* names =
            reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            {
                continue;
            }
            const IMAGE_IMPORT_BY_NAME* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            const char* function = reinterpret_cast<const char*>(byName->Name);
            const HookEntry* hook = HookFor(function);
            if (hook == NULL)
            {
                continue;
            }
            void** slot = reinterpret_cast<void**>(&slots->u1.Function);
            *hook->original = *slot;
            Patch patch = {slot, *slot};
            m_patches.push_back(patch);
            WriteSlot(slot, hook->hook);
            m_hooked.push_back(std::string(dll) + "!" + function);
        }
    }
}

ImportHooks::~ImportHooks()
{
    for (size_t i = 0; i < m_patches.size(); ++i)
    {
        WriteSlot(m_patches[i].slot, m_patches[i].original);
    }
}

bool ImportHooks::IsHooked(const char* function) const
{
    for (size_t i = 0; i < m_hooked.size(); ++i)
    {
        const std::string& entry = m_hooked[i];
        const std::string::size_type bang = entry.find('!');
        if (entry.compare(bang + 1, std::string::npos, function) == 0)
        {
            return true;
        }
    }
    return false;
}

ImportCounts ImportHooks::Counts()
{
    return g_counts;
}

void ImportHooks::ResetCounts()
{
    g_counts.coInitializeSucceeded = 0;
    g_counts.coUninitialize = 0;
}
