// The collection picker: from DoModal (through the DLL's Configure, as the rules engine calls
// it) to the moment its list is filled, beside a bare loop over the same registry keys.
#include "bench/bench.h"

#include "dialogs/resource.h"
#include "host/rules_host/rule_host.h"

namespace
{
const char kGroupsKey[] = "Software\\Tallybook\\Groups";

LARGE_INTEGER g_filled;
LRESULT g_listed;

// The dialog fills its list while it handles WM_INITDIALOG and then gives the focus to its
// first control: the first focus change into a window that has the list is the moment the list
// is filled. Notes the time and the count, and cancels the dialog. A CBT hook runs only on such
// events; a hook on every message would add its own cost to each entry the list takes.
HWND DialogWithList(HWND window)
{
    for (; window != NULL; window = GetParent(window))
    {
        if (GetDlgItem(window, IDC_COLLECTION_LIST) != NULL)
        {
            return window;
        }
    }
    return NULL;
}

LRESULT CALLBACK OnCbtEvent(int code, WPARAM wParam, LPARAM lParam)
{
    if ((code == HCBT_SETFOCUS || code == HCBT_ACTIVATE) && g_listed < 0)
    {
        HWND dialog = DialogWithList(reinterpret_cast<HWND>(wParam));
        if (dialog != NULL)
        {
            QueryPerformanceCounter(&g_filled);
            g_listed = SendMessageA(GetDlgItem(dialog, IDC_COLLECTION_LIST), LB_GETCOUNT, 0, 0);
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

void ClearCollections()
{
    RegDeleteTreeA(HKEY_CURRENT_USER, kGroupsKey);
    RegDeleteKeyA(HKEY_CURRENT_USER, kGroupsKey);
}

// Names in an order unlike their numbers, so the sorted list really sorts.
void StoreCollections(int count)
{
    for (int number = 1; number <= count; ++number)
    {
        char path[64];
        char name[32];
        sprintf(path, "%s\\Group%d", kGroupsKey, number);
        sprintf(name, "Collection %05d", static_cast<int>((static_cast<long long>(number) * 7919) % 100003));
        HKEY key = NULL;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) == ERROR_SUCCESS)
        {
            RegSetValueExA(key, "Name", 0, REG_SZ, reinterpret_cast<const BYTE*>(name),
                           static_cast<DWORD>(strlen(name) + 1));
            RegCloseKey(key);
        }
    }
}

// The least any picker must do: open each key, read its name, close it.
int ReadAllBare(int count)
{
    int read = 0;
    for (int number = 1; number <= count; ++number)
    {
        char path[64];
        sprintf(path, "%s\\Group%d", kGroupsKey, number);
        HKEY key = NULL;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        {
            break;
        }
        char name[40];
        DWORD size = sizeof(name);
        if (RegQueryValueExA(key, "Name", NULL, NULL, reinterpret_cast<BYTE*>(name), &size) == ERROR_SUCCESS)
        {
            ++read;
        }
        RegCloseKey(key);
    }
    return read;
}
} // namespace

void BenchPicker(int runs)
{
    printf("The picker: DoModal to a filled list\n");
    const std::string mailbox = BesideExe("bench_picker_mailbox.txt");
    RuleHost host(mailbox);
    std::string error;
    if (!host.LoadAction(BesideExe("TB_RULE.dll"), &error))
    {
        printf("  cannot load the DLL: %s\n\n", error.c_str());
        return;
    }
    HHOOK hook = SetWindowsHookExA(WH_CBT, OnCbtEvent, NULL, GetCurrentThreadId());
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);

    const int counts[] = {0, 10, 1000, 10000};
    for (size_t c = 0; c < sizeof(counts) / sizeof(counts[0]); ++c)
    {
        const int count = counts[c];
        ClearCollections();
        StoreCollections(count);
        // Ours and the floor take turns, so a busy moment of the machine hits both alike.
        std::vector<double> times, floorTimes;
        bool complete = true;
        int read = 0;
        for (int r = 0; r < runs + 1; ++r)
        {
            LARGE_INTEGER start, end;
            g_listed = -1;
            QueryPerformanceCounter(&start);
            HostRule rule;
            host.Configure(&rule);
            const double ourTime = 1e6 * double(g_filled.QuadPart - start.QuadPart) / double(frequency.QuadPart);
            complete = complete && g_listed == count;
            QueryPerformanceCounter(&start);
            read = ReadAllBare(count);
            QueryPerformanceCounter(&end);
            // The first turn warms the registry and the dialog's resources up; it is not counted.
            if (r > 0)
            {
                times.push_back(ourTime);
                floorTimes.push_back(1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
            }
        }
        const Figures ours = FiguresOf(times);
        const Figures floor = FiguresOf(floorTimes);
        char label[64];
        if (count == 0)
        {
            PrintRow("no collections: the dialog alone", ours);
        }
        else
        {
            sprintf(label, "%d collections: DoModal to filled list", count);
            PrintRow(label, ours);
            sprintf(label, "%d collections: bare registry loop (floor)", count);
            PrintRow(label, floor);
            PrintPairedRatio("ratio", times, floorTimes);
        }
        if (!complete || read != count)
        {
            printf("  note: the list held %ld, the bare loop read %d of %d\n", static_cast<long>(g_listed), read, count);
        }
    }
    UnhookWindowsHookEx(hook);
    ClearCollections();
    printf("\n");
}
