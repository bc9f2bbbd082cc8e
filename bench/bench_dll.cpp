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
    // library never frees (about 1,080 are available), so the cycles here stay well below that:
    // at most 600 in all, whatever the number of runs.
    const int kLoads = std::max(1, std::min(40, 600 / (2 * std::max(1, runs))));
    printf("The DLL\n");
    printf("  %-48s %ld bytes\n", "TB_RULE.dll on disk", FileSize("TB_RULE.dll"));
    printf("  %-48s %ld bytes\n", "empty DLL on disk (floor)", FileSize("tb_empty.dll"));

    const auto loadOurs = [&] {
        for (int i = 0; i < kLoads; ++i)
        {
            HMODULE module = LoadLibraryA("TB_RULE.dll");
            ExchEntryPointFn entry = reinterpret_cast<ExchEntryPointFn>(
                reinterpret_cast<void*>(GetProcAddress(module, "ExchEntryPoint")));
            IUnknown* object = entry();
            object->Release();
            FreeLibrary(module);
        }
    };
    const auto loadEmpty = [&] {
        for (int i = 0; i < kLoads; ++i)
        {
            HMODULE module = LoadLibraryA("tb_empty.dll");
            FreeLibrary(module);
        }
    };
    std::vector<double> ours, floor;
    MeasureInTurns(runs, kLoads, loadOurs, loadEmpty, &ours, &floor);
    PrintRow("load + ExchEntryPoint + Release + unload", FiguresOf(ours));
    PrintRow("load + unload of an empty DLL (floor)", FiguresOf(floor));
    PrintPairedRatio("ratio", ours, floor);

    // In this program nothing else holds MAPI32 and the other system DLLs the module imports, so
    // each cycle above loads and unloads them too. The mail client has them loaded all along.
    const char* const imports[] = {"MAPI32.DLL", "OLEAUT32.dll", "USER32.dll", "ADVAPI32.dll"};
    std::vector<HMODULE> held;
    for (size_t i = 0; i < sizeof(imports) / sizeof(imports[0]); ++i)
    {
        held.push_back(LoadLibraryA(imports[i]));
    }
    std::vector<double> warmOurs, warmFloor;
    MeasureInTurns(runs, kLoads, loadOurs, loadEmpty, &warmOurs, &warmFloor);
    PrintRow("the same, imports already loaded (as in a host)", FiguresOf(warmOurs));
    PrintRow("empty DLL, same conditions (floor)", FiguresOf(warmFloor));
    PrintPairedRatio("ratio", warmOurs, warmFloor);
    for (size_t i = 0; i < held.size(); ++i)
    {
        if (held[i] != NULL)
        {
            FreeLibrary(held[i]);
        }
    }
    printf("\n");
}
