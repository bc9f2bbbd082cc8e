// tb_mailserver: the test mail client's automation server, "Outlook.Application", serving the
// object model over the test mailbox out of process.
//
//   tb_mailserver register <mailbox> [--lifetime <seconds>]   register in this Wine prefix
//   tb_mailserver unregister
//   tb_mailserver serve --mailbox <path> [--lifetime <seconds>] -Embedding   (started by COM)
//
// The server ends when the last object it handed out is released. It also ends when nobody
// asks for an object soon after start and, whatever happens, at its maximum lifetime: a server
// whose client died without releasing would otherwise live on and, under Wine, keep the
// client's launcher waiting on the pipes it inherited.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <new>
#include <string>

#include "host/automation_server/objects.h"

namespace
{

const char kProgId[] = "Outlook.Application";
const DWORD kDefaultLifetimeSeconds = 120;
const DWORD kFirstObjectSeconds = 15;
bool g_handedOut = false;

std::string GuidText(REFGUID guid)
{
    WCHAR wide[40];
    StringFromGUID2(guid, wide, 40);
    char text[40];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), NULL, NULL);
    return text;
}

class ClassFactory : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object)
    {
        *object = NULL;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory))
        {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    // A static object: COM's references do not decide its life.
    STDMETHODIMP_(ULONG) AddRef() { return 2; }
    STDMETHODIMP_(ULONG) Release() { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object)
    {
        *object = NULL;
        if (outer != NULL)
        {
            return CLASS_E_NOAGGREGATION;
        }
        g_handedOut = true;
        return CreateApplication(iid, object);
    }
    STDMETHODIMP LockServer(BOOL lock)
    {
        if (lock)
        {
            CoAddRefServerProcess();
        }
        else if (CoReleaseServerProcess() == 0)
        {
            PostQuitMessage(0);
        }
        return S_OK;
    }
};

bool SetValue(HKEY root, const std::string& key, const char* name, const std::string& value)
{
    HKEY handle = NULL;
    if (RegCreateKeyExA(root, key.c_str(), 0, NULL, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, NULL, &handle,
                        NULL) != ERROR_SUCCESS)
    {
        return false;
    }
    LONG status = RegSetValueExA(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1));
    RegCloseKey(handle);
    return status == ERROR_SUCCESS;
}

const IID* const kInterfaces[] = {&IID__Application, &IID__NameSpace, &IID__MailItem, &IID_UserProperties,
                                  &IID_UserProperty};
const char* const kInterfaceNames[] = {"_Application", "_NameSpace", "_MailItem", "UserProperties",
                                       "UserProperty"};

int Register(const std::string& mailbox, DWORD lifetime)
{
    char exe[MAX_PATH];
    char fullMailbox[MAX_PATH];
    if (GetModuleFileNameA(NULL, exe, MAX_PATH) == 0 ||
        GetFullPathNameA(mailbox.c_str(), MAX_PATH, fullMailbox, NULL) == 0)
    {
        fprintf(stderr, "tb_mailserver: cannot resolve paths\n");
        return 1;
    }
    WCHAR wideExe[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, exe, -1, wideExe, MAX_PATH);
    ITypeLib* library = NULL;
    HRESULT hr = LoadTypeLibEx(wideExe, REGKIND_NONE, &library);
    if (SUCCEEDED(hr))
    {
        hr = RegisterTypeLib(library, wideExe, NULL);
        library->Release();
    }
    if (FAILED(hr))
    {
        fprintf(stderr, "tb_mailserver: registering the type library failed: 0x%08lX\n",
                static_cast<unsigned long>(hr));
        return 1;
    }

    const std::string clsid = GuidText(CLSID_Application);
    const std::string libid = GuidText(LIBID_TallybookMailObjects);
    char lifetimeText[16];
    sprintf(lifetimeText, "%lu", static_cast<unsigned long>(lifetime));
    const std::string command = std::string("\"") + exe + "\" serve --mailbox \"" + fullMailbox +
                                "\" --lifetime " + lifetimeText;
    bool ok = SetValue(HKEY_CLASSES_ROOT, kProgId, NULL, "Tallybook test mail client") &&
              SetValue(HKEY_CLASSES_ROOT, std::string(kProgId) + "\\CLSID", NULL, clsid) &&
              SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid, NULL, "Tallybook test mail client") &&
              SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\ProgID", NULL, kProgId) &&
              SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\TypeLib", NULL, libid) &&
              SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\LocalServer32", NULL, command);
    // Every interface that crosses the process boundary goes through the type-library marshaller.
    for (size_t i = 0; ok && i < sizeof(kInterfaces) / sizeof(kInterfaces[0]); ++i)
    {
        const std::string key = "Interface\\" + GuidText(*kInterfaces[i]);
        ok = SetValue(HKEY_CLASSES_ROOT, key, NULL, kInterfaceNames[i]) &&
             SetValue(HKEY_CLASSES_ROOT, key + "\\ProxyStubClsid32", NULL,
                      "{00020424-0000-0000-C000-000000000046}") &&
             SetValue(HKEY_CLASSES_ROOT, key + "\\TypeLib", NULL, libid) &&
             SetValue(HKEY_CLASSES_ROOT, key + "\\TypeLib", "Version", "1.0");
    }
    if (!ok)
    {
        fprintf(stderr, "tb_mailserver: writing the registration failed\n");
        return 1;
    }
    printf("registered %s -> %s\n", kProgId, command.c_str());
    return 0;
}

int Unregister()
{
    UnRegisterTypeLib(LIBID_TallybookMailObjects, 1, 0, 0, SYS_WIN32);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidText(CLSID_Application)).c_str());
    for (size_t i = 0; i < sizeof(kInterfaces) / sizeof(kInterfaces[0]); ++i)
    {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, ("Interface\\" + GuidText(*kInterfaces[i])).c_str());
    }
    RegDeleteTreeA(HKEY_CLASSES_ROOT, ("TypeLib\\" + GuidText(LIBID_TallybookMailObjects)).c_str());
    printf("unregistered %s\n", kProgId);
    return 0;
}

int Serve(DWORD lifetimeSeconds)
{
    HRESULT hr = CoInitialize(NULL);
    if (FAILED(hr))
    {
        return 1;
    }
    static ClassFactory factory;
    DWORD cookie = 0;
    hr = CoRegisterClassObject(CLSID_Application, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    if (FAILED(hr))
    {
        fprintf(stderr, "tb_mailserver: CoRegisterClassObject failed: 0x%08lX\n", static_cast<unsigned long>(hr));
        CoUninitialize();
        return 1;
    }

    const DWORD start = GetTickCount();
    SetTimer(NULL, 0, 500, NULL);
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0)
    {
        if (message.message == WM_TIMER && message.hwnd == NULL)
        {
            DWORD elapsed = (GetTickCount() - start) / 1000;
            if (elapsed >= lifetimeSeconds)
            {
                fprintf(stderr, "tb_mailserver: maximum lifetime (%lus) reached, exiting\n",
                        static_cast<unsigned long>(lifetimeSeconds));
                break;
            }
            // Started, but the client that wanted us went away before asking for an object.
            if (elapsed >= kFirstObjectSeconds && !g_handedOut)
            {
                break;
            }
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string command = argc > 1 ? argv[1] : "";
    std::string mailbox;
    DWORD lifetime = kDefaultLifetimeSeconds;
    int first = 2;
    if (command == "register" && argc > 2)
    {
        mailbox = argv[2];
        first = 3;
    }
    for (int i = first; i < argc; ++i)
    {
        if (strcmp(argv[i], "--mailbox") == 0 && i + 1 < argc)
        {
            mailbox = argv[++i];
        }
        else if (strcmp(argv[i], "--lifetime") == 0 && i + 1 < argc)
        {
            lifetime = static_cast<DWORD>(strtoul(argv[++i], NULL, 10));
        }
    }
    if (command == "register" && !mailbox.empty())
    {
        return Register(mailbox, lifetime);
    }
    if (command == "unregister")
    {
        return Unregister();
    }
    if (command == "serve" && !mailbox.empty())
    {
        g_settings.mailboxPath = mailbox;
        return Serve(lifetime);
    }
    fprintf(stderr,
            "usage: tb_mailserver register <mailbox> [--lifetime <seconds>]\n"
            "       tb_mailserver unregister\n"
            "       tb_mailserver serve --mailbox <path> [--lifetime <seconds>] -Embedding\n");
    return 2;
}
