// The rules engine's side of a rule action: loads the action's DLL the way the mail client
// does, owns the host window, the MAPI session and the site, and calls the action's operations.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

#include "extension/rule_action_iface.h"
#include "host/rules_host/host_site.h"

// A rule as the rules engine keeps it: the action's data text and its display text.
struct HostRule
{
    std::string data;
    std::string display;
};

// The rules file: one block per rule,
//   rule
//     data = "Invoices"
//     display = "Add To Collection Invoices"
bool LoadRules(const std::string& path, std::vector<HostRule>* rules, std::string* error);
bool SaveRules(const std::string& path, const std::vector<HostRule>& rules, std::string* error);

std::string HResultText(HRESULT result);

class RuleHost
{
public:
    // Buffer capacities the host hands to Configure and Describe (each buffer holds one more).
    enum { kTextCapacity = 255 };

    explicit RuleHost(const std::string& mailboxPath);
    ~RuleHost();

    // LoadLibrary, ExchEntryPoint, QueryInterface for IRuleAction.
    bool LoadAction(const std::string& dllPath, std::string* error);
    // Shutdown, Release, FreeLibrary.
    void UnloadAction();

    IRuleAction* action() const { return m_action; }
    HostSite& site() { return *m_site; }
    HWND window() const { return m_window; }

    HRESULT Configure(HostRule* rule);
    HRESULT Describe(const std::string& data, std::string* text);
    HRESULT Execute(const std::string& data, const std::string& entryIdHex);

    // The mail client is always running, so its automation server is warm: the host keeps one
    // reference of its own while it runs rules. Fails when the server cannot be activated.
    HRESULT HoldAutomationServer();
    void ReleaseAutomationServer();

private:
    RuleHost(const RuleHost&);
    RuleHost& operator=(const RuleHost&);

    std::string m_mailboxPath;
    HWND m_window;
    IMAPISession* m_session;
    HostSite* m_site;
    HMODULE m_module;
    IRuleAction* m_action;
    IDispatch* m_server;
};
