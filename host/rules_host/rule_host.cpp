#include "host/rules_host/rule_host.h"

#include <stdio.h>

#include "host/mailbox/mailbox.h"
#include "host/rules_host/mapi_objects.h"

typedef IUnknown*(STDAPICALLTYPE* ExchEntryPointFn)();

namespace
{

const char kWindowClass[] = "TallybookRulesHost";

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
    {
        return std::string();
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

HWND CreateHostWindow()
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof(windowClass));
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    RegisterClassA(&windowClass); // fails harmlessly when a second host registers it again
    return CreateWindowExA(0, kWindowClass, "Tallybook rules host", WS_OVERLAPPEDWINDOW, 60, 60, 640, 420,
                           NULL, NULL, GetModuleHandleA(NULL), NULL);
}

} // namespace

std::string HResultText(HRESULT result)
{
    char text[16];
    sprintf(text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

bool LoadRules(const std::string& path, std::vector<HostRule>* rules, std::string* error)
{
    rules->clear();
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL)
    {
        return true; // no file yet: no rules
    }
    char line[2048];
    while (fgets(line, sizeof(line), file) != NULL)
    {
        std::string text = line;
        while (!text.empty() && (text[text.size() - 1] == '\n' || text[text.size() - 1] == '\r'))
        {
            text.erase(text.size() - 1);
        }
        std::string trimmed = Trim(text);
        if (trimmed.empty() || trimmed[0] == '#')
        {
            continue;
        }
        if (trimmed == "rule")
        {
            rules->push_back(HostRule());
            continue;
        }
        size_t equals = trimmed.find('=');
        std::string key = equals == std::string::npos ? std::string() : Trim(trimmed.substr(0, equals));
        std::string value;
        if (rules->empty() || (key != "data" && key != "display") ||
            !UnquoteText(trimmed.substr(equals + 1), &value))
        {
            fclose(file);
            *error = path + ": cannot read '" + trimmed + "'";
            return false;
        }
        (key == "data" ? rules->back().data : rules->back().display) = value;
    }
    fclose(file);
    return true;
}

bool SaveRules(const std::string& path, const std::vector<HostRule>& rules, std::string* error)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == NULL)
    {
        *error = "cannot write " + path;
        return false;
    }
    fprintf(file, "# Rules of the simulated rules engine: the action's data text and display text.\n");
    for (size_t i = 0; i < rules.size(); ++i)
    {
        fprintf(file, "rule\n  data = %s\n  display = %s\n", QuoteText(rules[i].data).c_str(),
                QuoteText(rules[i].display).c_str());
    }
    if (fclose(file) != 0)
    {
        *error = "cannot write " + path;
        return false;
    }
    return true;
}

RuleHost::RuleHost(const std::string& mailboxPath)
    : m_mailboxPath(mailboxPath), m_window(CreateHostWindow()), m_session(NULL), m_site(NULL), m_module(NULL),
      m_action(NULL), m_server(NULL)
{
    CreateMailboxSession(mailboxPath, &m_session);
    m_site = new HostSite(m_window, m_session);
}

RuleHost::~RuleHost()
{
    ReleaseAutomationServer();
    UnloadAction();
    delete m_site;
    if (m_session != NULL)
    {
        m_session->Release();
    }
    if (m_window != NULL)
    {
        DestroyWindow(m_window);
    }
}

bool RuleHost::LoadAction(const std::string& dllPath, std::string* error)
{
    UnloadAction();
    m_module = LoadLibraryA(dllPath.c_str());
    if (m_module == NULL)
    {
        char text[32];
        sprintf(text, "%lu", GetLastError());
        *error = "LoadLibrary(" + dllPath + ") failed: error " + text;
        return false;
    }
    ExchEntryPointFn entry =
        reinterpret_cast<ExchEntryPointFn>(reinterpret_cast<void*>(GetProcAddress(m_module, "ExchEntryPoint")));
    IUnknown* unknown = entry != NULL ? entry() : NULL;
    if (unknown == NULL)
    {
        *error = entry == NULL ? dllPath + " has no ExchEntryPoint" : "ExchEntryPoint returned no object";
        UnloadAction();
        return false;
    }
    HRESULT hr = unknown->QueryInterface(IID_IRuleAction, reinterpret_cast<void**>(&m_action));
    unknown->Release();
    if (FAILED(hr) || m_action == NULL)
    {
        m_action = NULL;
        *error = "the object does not answer IRuleAction: " + HResultText(hr);
        UnloadAction();
        return false;
    }
    return true;
}

void RuleHost::UnloadAction()
{
    if (m_action != NULL)
    {
        m_action->Shutdown();
        m_action->Release();
        m_action = NULL;
    }
    if (m_module != NULL)
    {
        FreeLibrary(m_module);
        m_module = NULL;
    }
}

HRESULT RuleHost::Configure(HostRule* rule)
{
    if (m_action == NULL)
    {
        return E_UNEXPECTED;
    }
    char data[kTextCapacity + 1] = {0};
    char display[kTextCapacity + 1] = {0};
    m_action->Init(0, 1);
    HRESULT hr = m_action->Configure(m_site, data, kTextCapacity, display, kTextCapacity);
    if (hr == S_OK && data[0] != '\0')
    {
        rule->data = data;
        rule->display = display;
    }
    return hr;
}

HRESULT RuleHost::Describe(const std::string& data, std::string* text)
{
    if (m_action == NULL)
    {
        return E_UNEXPECTED;
    }
    char buffer[kTextCapacity + 1] = {0};
    HRESULT hr = m_action->Describe(0, data.c_str(), buffer, kTextCapacity);
    *text = SUCCEEDED(hr) ? buffer : "";
    return hr;
}

HRESULT RuleHost::Execute(const std::string& data, const std::string& entryIdHex)
{
    if (m_action == NULL)
    {
        return E_UNEXPECTED;
    }
    std::vector<BYTE> entryId;
    if (!HexToBytes(entryIdHex, &entryId) || entryId.empty())
    {
        return E_INVALIDARG;
    }
    m_action->Init(0, 2);
    return m_action->Execute(m_site, data.c_str(), static_cast<ULONG>(entryId.size()),
                             reinterpret_cast<LPENTRYID>(&entryId[0]));
}

HRESULT RuleHost::HoldAutomationServer()
{
    if (m_server != NULL)
    {
        return S_OK;
    }
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(L"Outlook.Application", &clsid);
    if (SUCCEEDED(hr))
    {
        hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch, reinterpret_cast<void**>(&m_server));
    }
    if (FAILED(hr))
    {
        m_server = NULL;
    }
    return hr;
}

void RuleHost::ReleaseAutomationServer()
{
    if (m_server != NULL)
    {
        m_server->Release();
        m_server = NULL;
    }
}
