// Loading TB_RULE.dll and getting its object, beside loading an empty DLL.
#include "bench/bench.h"

#include "extension/rule_action_iface.h"

typedef IUnknown*(STDAPICALLTYPE* ExchEntryPointFn)();

namespace
{
long FileSize(const char* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data))
    {
        return -1;
    }
    return static_cast<long>(data.nFileSizeLow);
}
} // namespace

void BenchDll(int runs)
{
    // Each load/unload cycle costs the process one TLS index that the toolchain's static thread
    // library never frees (about 1,080 are available), so the cycles here stay well below that.
    const int kLoads = 100;
    printf("The DLL\n");
    printf("  %-46s %ld bytes\n", "TB_RULE.dll on disk", FileSize("TB_RULE.dll"));
    printf("  %-46s %ld bytes\n", "empty DLL on disk (floor)", FileSize("tb_empty.dll"));

    const Figures ours = Measure(runs, kLoads, [&] {
        for (int i = 0; i < kLoads; ++i)
        {
            HMODULE module = LoadLibraryA("TB_RULE.dll");
            ExchEntryPointFn entry = reinterpret_cast<ExchEntryPointFn>(
                reinterpret_cast<void*>(GetProcAddress(module, "ExchEntryPoint")));
            IUnknown* object = entry();
            object->Release();
            FreeLibrary(module);
        }
    });
    const Figures floor = Measure(runs, kLoads, [&] {
        for (int i = 0; i < kLoads; ++i)
        {
            HMODULE module = LoadLibraryA("tb_empty.dll");
            FreeLibrary(module);
        }
    });
    PrintRow("load + ExchEntryPoint + Release + unload", ours);
    PrintRow("load + unload of an empty DLL (floor)", floor);
    PrintRatio("ratio", ours, floor);
}
