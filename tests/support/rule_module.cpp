#include "support/rule_module.h"

std::string RuleModulePath()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    const std::string::size_type slash = dir.find_last_of("\\/");
    dir = (slash == std::string::npos) ? std::string(".") : dir.substr(0, slash);
    return dir + "\\TB_RULE.dll";
}

RuleModule::RuleModule()
    : m_module(LoadLibraryA(RuleModulePath().c_str())), m_entry(NULL)
{
    if (m_module != NULL)
    {
        m_entry = reinterpret_cast<ExchEntryPointFn>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "ExchEntryPoint")));
    }
}

RuleModule::~RuleModule()
{
    if (m_module != NULL)
    {
        FreeLibrary(m_module);
    }
}

IRuleAction* RuleModule::CreateAction() const
{
    if (m_entry == NULL)
    {
        return NULL;
    }
    IUnknown* unknown = m_entry();
    if (unknown == NULL)
    {
        return NULL;
    }
    IRuleAction* action = NULL;
    if (FAILED(unknown->QueryInterface(IID_IRuleAction, reinterpret_cast<void**>(&action))))
    {
        action = NULL;
    }
    unknown->Release();
    return action;
}
