#include "support/automation_registration.h"

namespace
{
const char kProgIdKey[] = "Outlook.Application\\CLSID";
const char kProgIdRoot[] = "Outlook.Application";
const char kTestClsidText[] = "{6A3C1B52-6E1D-4C39-9A0B-7D2E5C4F1A01}";

bool ReadDefault(const char* keyName, std::string* value)
{
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, keyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    char text[128] = {0};
    DWORD size = sizeof(text) - 1;
    DWORD type = 0;
    const bool ok = RegQueryValueExA(key, NULL, NULL, &type, reinterpret_cast<BYTE*>(text),
                                     &size) == ERROR_SUCCESS && type == REG_SZ;
    RegCloseKey(key);
    if (ok)
    {
        *value = text;
    }
    return ok;
}

void WriteDefault(const char* keyName, const std::string& value)
{
    HKEY key = NULL;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, keyName, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) ==
        ERROR_SUCCESS)
    {
        RegSetValueExA(key, NULL, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>(value.size() + 1));
        RegCloseKey(key);
    }
}
} // namespace

const CLSID AutomationRegistration::kTestClsid = {
    0x6A3C1B52, 0x6E1D, 0x4C39, {0x9A, 0x0B, 0x7D, 0x2E, 0x5C, 0x4F, 0x1A, 0x01}};

AutomationRegistration::AutomationRegistration(IUnknown* classObject)
    : m_hadProgId(false), m_cookie(0), m_registered(false)
{
    m_hadProgId = ReadDefault(kProgIdKey, &m_previousClsid);
    WriteDefault(kProgIdKey, kTestClsidText);
    m_registered = SUCCEEDED(CoRegisterClassObject(kTestClsid, classObject, CLSCTX_LOCAL_SERVER,
                                                   REGCLS_MULTIPLEUSE, &m_cookie));
}

AutomationRegistration::~AutomationRegistration()
{
    if (m_registered)
    {
        CoRevokeClassObject(m_cookie);
    }
    if (m_hadProgId)
    {
        WriteDefault(kProgIdKey, m_previousClsid);
    }
    else
    {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kProgIdKey);
        RegDeleteKeyA(HKEY_CLASSES_ROOT, kProgIdRoot);
    }
}

void AutomationRegistration::RemoveProgId()
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, kProgIdKey);
}
