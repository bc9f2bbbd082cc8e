// tb_soak: one host process that fires a rule many times through TB_RULE.dll (the automation
// server out of process, kept warm as the mail client keeps it) and then opens and cancels the
// collection dialog many times, printing the process's handle count and private bytes after a
// warm-up and at the end of each part. A leak of a handle, a reference or a block per call shows
// as a count that climbs with the number of calls. It prints figures; it judges nothing.
//   tb_soak --dll <TB_RULE.dll> --mailbox <mailbox.txt> [--firings N] [--cycles N]
#include <windows.h>
#include <psapi.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "host/mailbox/mailbox.h"
#include "host/rules_host/dialog_driver.h"
#include "host/rules_host/mapi_library.h"
#include "host/rules_host/rule_host.h"

namespace
{
struct Sample
{
    DWORD handles;
    SIZE_T privateBytes;
    SIZE_T workingSet;
};

// Open handles, counted one by one: Wine answers GetProcessHandleCount with 0, but it knows
// every handle it gave out, and GetHandleInformation succeeds exactly for those.
DWORD CountHandles()
{
    DWORD count = 0;
    for (ULONG_PTR value = 4; value < 0x20000; value += 4)
    {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
        {
            ++count;
        }
    }
    return count;
}

// Private bytes as Windows counts them: committed memory of the process's own (heaps, stacks,
// VirtualAlloc), not images or mapped files. Wine leaves PrivateUsage at 0, so it is summed
// from the address space.
SIZE_T PrivateCommitted()
{
    SIZE_T total = 0;
    const BYTE* address = NULL;
    MEMORY_BASIC_INFORMATION info;
    while (VirtualQuery(address, &info, sizeof(info)) == sizeof(info))
    {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
        {
            total += info.RegionSize;
        }
        const BYTE* next = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
        {
            break;
        }
        address = next;
    }
    return total;
}

Sample Measure()
{
    Sample sample = {0, 0, 0};
    sample.handles = CountHandles();
    sample.privateBytes = PrivateCommitted();
    PROCESS_MEMORY_COUNTERS counters;
    memset(&counters, 0, sizeof(counters));
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
    {
        sample.workingSet = counters.WorkingSetSize;
    }
    return sample;
}

void Print(const char* part, unsigned done, const Sample& sample)
{
    printf("%-9s %6u  handles %5lu  private %8lu KiB  working set %8lu KiB\n", part, done,
           static_cast<unsigned long>(sample.handles),
           static_cast<unsigned long>(sample.privateBytes / 1024),
           static_cast<unsigned long>(sample.workingSet / 1024));
    fflush(stdout);
}

void Summary(const char* part, const Sample& warm, const Sample& end, unsigned calls,
             unsigned failures, const char* failuresAre, DWORD milliseconds)
{
    printf("%s: %u calls (%u %s) in %.1f s; after warm-up handles %lu, private %lu KiB; at the "
           "end handles %lu (%+ld), private %lu KiB (%+ld KiB)\n",
           part, calls, failures, failuresAre, milliseconds / 1000.0, static_cast<unsigned long>(warm.handles),
           static_cast<unsigned long>(warm.privateBytes / 1024),
           static_cast<unsigned long>(end.handles),
           static_cast<long>(end.handles) - static_cast<long>(warm.handles),
           static_cast<unsigned long>(end.privateBytes / 1024),
           (static_cast<long>(end.privateBytes) - static_cast<long>(warm.privateBytes)) / 1024);
    fflush(stdout);
}
} // namespace

int main(int argc, char** argv)
{
    std::string dll = "TB_RULE.dll";
    std::string mailboxPath = "mailbox.txt";
    unsigned firings = 10000;
    unsigned cycles = 1000;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        if (strcmp(argv[i], "--dll") == 0)
            dll = argv[i + 1];
        else if (strcmp(argv[i], "--mailbox") == 0)
            mailboxPath = argv[i + 1];
        else if (strcmp(argv[i], "--firings") == 0)
            firings = static_cast<unsigned>(atoi(argv[i + 1]));
        else if (strcmp(argv[i], "--cycles") == 0)
            cycles = static_cast<unsigned>(atoi(argv[i + 1]));
    }

    Mailbox mailbox;
    std::string error;
    if (!mailbox.Load(mailboxPath, &error))
    {
        fprintf(stderr, "tb_soak: %s\n", error.c_str());
        return 1;
    }
    std::vector<std::string> messages;
    for (size_t i = 0; i < mailbox.messages.size(); ++i)
    {
        messages.push_back(mailbox.messages[i].entryId);
    }
    if (messages.empty())
    {
        fprintf(stderr, "tb_soak: the mailbox has no messages\n");
        return 1;
    }

    // As the mail client runs: OLE and MAPI initialised by the host, not by the action.
    OleInitialize(NULL);
    const HRESULT mapi = MapiLibrary::Instance().Initialize();
    int exitCode = 0;
    {
        RuleHost host(mailboxPath);
        if (!host.LoadAction(dll, &error))
        {
            fprintf(stderr, "tb_soak: %s\n", error.c_str());
            exitCode = 1;
        }
        else
        {
            HRESULT hr = host.HoldAutomationServer();
            printf("automation server: %s\n", HResultText(hr).c_str());
            const unsigned warmUp = firings < 200 ? firings / 2 : 100;
            Sample warm = Measure();
            Print("firings", 0, warm);
            unsigned failures = 0;
            DWORD start = GetTickCount();
            for (unsigned i = 1; i <= firings; ++i)
            {
                // Every message in turn: mail items, a message that is no mail item, and one
                // outside the default store whose firing fails.
                hr = host.Execute("Soak", messages[i % messages.size()]);
                failures += FAILED(hr) ? 1 : 0;
                if (i == warmUp)
                {
                    warm = Measure();
                    Print("firings", i, warm);
                }
                else if (i % 1000 == 0 || i == firings)
                {
                    Print("firings", i, Measure());
                }
            }
            Summary("firings", warm, Measure(), firings, failures, "failed", GetTickCount() - start);
            host.ReleaseAutomationServer();

            const unsigned warmCycles = cycles < 40 ? cycles / 2 : 20;
            warm = Measure();
            Print("configure", 0, warm);
            failures = 0;
            start = GetTickCount();
            for (unsigned i = 1; i <= cycles; ++i)
            {
                HostRule rule;
                {
                    DialogDriver driver("cancel");
                    hr = host.Configure(&rule);
                }
                // Cancel chooses nothing: TYPE_E_OUTOFBOUNDS is the expected answer.
                failures += hr == TYPE_E_OUTOFBOUNDS ? 0 : 1;
                if (i == warmCycles)
                {
                    warm = Measure();
                    Print("configure", i, warm);
                }
                else if (i % 100 == 0 || i == cycles)
                {
                    Print("configure", i, Measure());
                }
            }
            Summary("configure/cancel", warm, Measure(), cycles, failures,
                    "not TYPE_E_OUTOFBOUNDS", GetTickCount() - start);
            host.UnloadAction();
        }
    }
    if (SUCCEEDED(mapi))
    {
        MapiLibrary::Instance().Uninitialize();
    }
    OleUninitialize();
    return exitCode;
}
