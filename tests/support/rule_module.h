// Loads TB_RULE.dll the way the host does: by path, then the export by name or ordinal.
#pragma once

#include <string>
#include <windows.h>

#include "extension/rule_action_iface.h"

typedef IUnknown*(STDAPICALLTYPE* ExchEntryPointFn)();

// TB_RULE.dll beside the running test program.
std::string RuleModulePath();

class RuleModule
{
public:
    RuleModule();
    ~RuleModule();

    HMODULE handle() const { return m_module; }
    ExchEntryPointFn entryPoint() const { return m_entry; }

    // A new rule-action object, asked for IRuleAction the way the host asks; the caller
    // releases both references it holds (the entry point's and the query's) — this returns
    // with the entry point's reference already given back, so one Release ends it.
    IRuleAction* CreateAction() const;

private:
    RuleModule(const RuleModule&);
    RuleModule& operator=(const RuleModule&);

    HMODULE m_module;
    ExchEntryPointFn m_entry;
};
