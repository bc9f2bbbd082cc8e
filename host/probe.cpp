// Loads a rule-action DLL as the host does and prints what its object answers.
//   tb_probe [path-to-dll] [collection-name]
#include <stdio.h>
#include <string>

#include "extension/rule_action_iface.h"

typedef IUnknown*(STDAPICALLTYPE* ExchEntryPointFn)();

static std::string Hex(HRESULT hr)
{
    char text[16];
    sprintf(text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

int main(int argc, char** argv)
{
    const char* path = argc > 1 ? argv[1] : "TB_RULE.dll";
    const char* name = argc > 2 ? argv[2] : "Invoices";

    HMODULE module = LoadLibraryA(path);
    if (module == NULL)
    {
        printf("LoadLibrary(%s) failed: error %lu\n", path, GetLastError());
        return 1;
    }
    ExchEntryPointFn entry =
        reinterpret_cast<ExchEntryPointFn>(reinterpret_cast<void*>(GetProcAddress(module, "ExchEntryPoint")));
    if (entry == NULL)
    {
        printf("%s has no ExchEntryPoint export\n", path);
        FreeLibrary(module);
        return 1;
    }
    printf("Loaded %s\n", path);

    IUnknown* unknown = entry();
    if (unknown == NULL)
    {
        printf("ExchEntryPoint returned no object\n");
        FreeLibrary(module);
        return 1;
    }
    IRuleAction* action = NULL;
    HRESULT hr = unknown->QueryInterface(IID_IRuleAction, reinterpret_cast<void**>(&action));
    printf("QueryInterface(IRuleAction)  -> %s\n", Hex(hr).c_str());
    if (SUCCEEDED(hr))
    {
        printf("Init(0, 1)                   -> %s\n", Hex(action->Init(0, 1)).c_str());
        char text[261] = {0};
        hr = action->Describe(0, name, text, 260);
        printf("Describe(\"%s\")        -> %s \"%s\"\n", name, Hex(hr).c_str(), SUCCEEDED(hr) ? text : "");
        printf("Shutdown()                   -> %s\n", Hex(action->Shutdown()).c_str());
        action->Release();
    }
    unknown->Release();
    FreeLibrary(module);
    return SUCCEEDED(hr) ? 0 : 1;
}
