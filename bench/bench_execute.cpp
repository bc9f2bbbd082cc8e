// Firing the rule on N messages: Execute through the rules-engine simulator and the automation
// server, beside a bare client of the same server that makes only the calls that filing a
// message cannot do without. Both run against a warm server (the host holds a reference) and
// both pay for its re-reading and rewriting of the mailbox file on every call.
#include "bench/bench.h"

#include <ole2.h>
#include <tlhelp32.h>

#include "extension/rule_action.h"
#include "host/mailbox/mailbox.h"
#include "host/rules_host/rule_host.h"
#include "mapi/mapi_defs.h"
#include "tagging/outlook_om.h"
#include "tagging/tag_message.h"

namespace
{
const char kCollection[] = "Bench";
const char kStoreId[] = "0000000038A1BB1005E5101AA1BB08002B2A56C2E201";

std::string MessageId(int index)
{
    char id[16];
    sprintf(id, "%04X", static_cast<unsigned>(index + 1));
    return "00000000B7E3C0CF6E4A4D7B9F1C2D3E4F5A6B7CE2E1" + std::string(id);
}

// Every message carries a legacy value, so every call replaces it: both sides write.
Mailbox BenchMailbox(int messages)
{
    Mailbox box;
    MailboxStore store = {kStoreId, "Personal Folders", true};
    box.stores.push_back(store);
    for (int i = 0; i < messages; ++i)
    {
        MailboxMessage message;
        message.entryId = MessageId(i);
        message.storeId = kStoreId;
        message.isMail = true;
        message.subject = "bench message " + MessageId(i).substr(MessageId(i).size() - 4);
        MailboxUserProperty group = {"Group", "TB1 : Legacy"};
        message.userProperties.push_back(group);
        box.messages.push_back(message);
    }
    return box;
}

bool WriteMailbox(const std::string& path, const Mailbox& box)
{
    std::string error;
    if (!box.Save(path, &error))
    {
        printf("  cannot write %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

// How many messages carry the value the rule writes.
int FiledMessages(const std::string& path)
{
    Mailbox box;
    std::string error;
    if (!box.Load(path, &error))
    {
        return -1;
    }
    int filed = 0;
    for (size_t i = 0; i < box.messages.size(); ++i)
    {
        const MailboxUserProperty* group = box.messages[i].FindUserProperty("Group");
        filed += group != NULL && group->value == std::string("TB2 : ") + kCollection ? 1 : 0;
    }
    return filed;
}

BSTR Bstr(const std::string& text)
{
    std::wstring wide(text.begin(), text.end());
    return SysAllocString(wide.c_str());
}

// The bare client: activation, GetNamespace, GetItemFromID, QueryInterface, get_UserProperties,
// Find, put_Value, Save and the releases, nothing else and no checks beyond what it needs.
// readFirst: also read the stored value before writing, which the rule needs to know whether it
// may write at all.
HRESULT FileBare(const CLSID& clsid, BSTR mapiName, BSTR groupName, BSTR value, BSTR entryId, BSTR storeId,
                 bool readFirst)
{
    IDispatch* activated = NULL;
    _Application* application = NULL;
    _NameSpace* nameSpace = NULL;
    IDispatch* found = NULL;
    _MailItem* item = NULL;
    UserProperties* properties = NULL;
    UserProperty* property = NULL;
    HRESULT hr = CoCreateInstance(clsid, NULL, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                  reinterpret_cast<void**>(&activated));
    if (SUCCEEDED(hr))
    {
        hr = activated->QueryInterface(IID__Application, reinterpret_cast<void**>(&application));
        activated->Release();
    }
    if (SUCCEEDED(hr))
    {
        hr = application->GetNamespace(mapiName, &nameSpace);
    }
    if (SUCCEEDED(hr))
    {
        VARIANT store;
        V_VT(&store) = VT_BSTR;
        V_BSTR(&store) = storeId;
        hr = nameSpace->GetItemFromID(entryId, store, &found);
    }
    if (SUCCEEDED(hr))
    {
        hr = found->QueryInterface(IID__MailItem, reinterpret_cast<void**>(&item));
        found->Release();
    }
    if (SUCCEEDED(hr))
    {
        hr = item->get_UserProperties(&properties);
    }
    if (SUCCEEDED(hr))
    {
        VARIANT custom;
        V_VT(&custom) = VT_I4;
        V_I4(&custom) = 1;
        hr = properties->Find(groupName, custom, &property);
    }
    if (SUCCEEDED(hr) && property == NULL)
    {
        hr = E_FAIL; // every bench message carries the property
    }
    if (SUCCEEDED(hr) && readFirst)
    {
        VARIANT stored;
        VariantInit(&stored);
        hr = property->get_Value(&stored);
        VariantClear(&stored);
    }
    if (SUCCEEDED(hr))
    {
        VARIANT text;
        V_VT(&text) = VT_BSTR;
        V_BSTR(&text) = value;
        hr = property->put_Value(text);
    }
    if (SUCCEEDED(hr))
    {
        hr = item->Save();
    }
    IUnknown* const held[] = {property, properties, item, nameSpace, application};
    for (size_t i = 0; i < sizeof(held) / sizeof(held[0]); ++i)
    {
        if (held[i] != NULL)
        {
            held[i]->Release();
        }
    }
    return hr;
}

// Wine's DCOM can deadlock inside the server: its apartment thread, releasing an object's last
// reference, waits for the object's calls to finish while one of them waits for that thread.
// When a run makes no progress for this long, the watchdog ends the server (so the waiting call
// fails) and the group reports that instead of figures.
const DWORD kStallMs = 180000;

struct Watchdog
{
    HANDLE progress;
    HANDLE stop;
    volatile LONG stalled;
};

void EndServers()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
    {
        return;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    {
        if (lstrcmpiA(entry.szExeFile, "tb_mailserver.exe") == 0)
        {
            HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
            if (process != NULL)
            {
                TerminateProcess(process, 1);
                CloseHandle(process);
            }
        }
    }
    CloseHandle(snapshot);
}

DWORD WINAPI WatchRuns(LPVOID parameter)
{
    Watchdog* watchdog = static_cast<Watchdog*>(parameter);
    HANDLE events[2] = {watchdog->stop, watchdog->progress};
    for (;;)
    {
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, kStallMs);
        if (woke == WAIT_OBJECT_0)
        {
            return 0;
        }
        if (woke == WAIT_TIMEOUT)
        {
            InterlockedExchange(&watchdog->stalled, 1);
            EndServers();
            return 0;
        }
    }
}

// Execute's own steps, timed in two parts: the MAPI side (session, store table, store,
// message, and MAPI's initialisation around them) and the object model (TagMessage).
HRESULT ExecuteSplit(HostSite& site, const std::vector<BYTE>& entryId, double* mapiUs, double* modelUs,
                     double* initUs)
{
    LARGE_INTEGER frequency, t0, t1, t2, t3, i0, i1, u0, u1;
    i0.QuadPart = i1.QuadPart = u0.QuadPart = u1.QuadPart = 0;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    IMAPISession* session = NULL;
    IMsgStore* store = NULL;
    IMessage* message = NULL;
    HRESULT hr = site.GetSession(&session);
    QueryPerformanceCounter(&i0);
    if (SUCCEEDED(hr) && SUCCEEDED(hr = MAPIInitialize(NULL)))
    {
        QueryPerformanceCounter(&i1);
        hr = GetDefaultStore(session, &store);
        ULONG type = 0;
        if (SUCCEEDED(hr))
        {
            hr = store->OpenEntry(static_cast<ULONG>(entryId.size()),
                                  reinterpret_cast<LPENTRYID>(const_cast<BYTE*>(&entryId[0])), NULL,
                                  MAPI_BEST_ACCESS, &type, reinterpret_cast<LPUNKNOWN*>(&message));
        }
        if (SUCCEEDED(hr) && message != NULL)
        {
            message->SaveChanges(KEEP_OPEN_READWRITE);
            QueryPerformanceCounter(&t1);
            try
            {
                TagMessage(message, kCollection);
            }
            catch (...)
            {
                hr = E_FAIL;
            }
            QueryPerformanceCounter(&t2);
        }
        else
        {
            t1 = t2 = t0;
        }
        if (message != NULL)
        {
            message->Release();
        }
        if (store != NULL)
        {
            store->Release();
        }
        QueryPerformanceCounter(&u0);
        MAPIUninitialize();
        QueryPerformanceCounter(&u1);
    }
    else
    {
        t1 = t2 = t0;
    }
    if (session != NULL)
    {
        session->Release();
    }
    QueryPerformanceCounter(&t3);
    const double scale = 1e6 / double(frequency.QuadPart);
    *mapiUs += scale * double((t1.QuadPart - t0.QuadPart) + (t3.QuadPart - t2.QuadPart));
    *modelUs += scale * double(t2.QuadPart - t1.QuadPart);
    *initUs += scale * double((i1.QuadPart - i0.QuadPart) + (u1.QuadPart - u0.QuadPart));
    return hr;
}

int RunServerCommand(const std::string& arguments)
{
    std::string line = "\"" + BesideExe("tb_mailserver.exe") + "\" " + arguments;
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    // Its messages would only interleave with the figures.
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, NULL);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = quiet;
    startup.hStdError = quiet;
    PROCESS_INFORMATION process;
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    const BOOL started = CreateProcessA(NULL, &text[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    if (quiet != INVALID_HANDLE_VALUE)
    {
        CloseHandle(quiet);
    }
    if (!started)
    {
        return -1;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = static_cast<DWORD>(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}
} // namespace

void BenchExecute(int runs, int messages)
{
    printf("Per message, end to end (%d messages a run, warm server)\n", messages);
    const std::string mailbox = BesideExe("bench_mailbox.txt");
    const Mailbox fresh = BenchMailbox(messages);
    if (!WriteMailbox(mailbox, fresh) || RunServerCommand("register \"" + mailbox + "\" --lifetime 900") != 0)
    {
        printf("  cannot register the automation server\n\n");
        return;
    }
    {
        RuleHost host(mailbox);
        std::string error;
        if (!host.LoadAction(BesideExe("TB_RULE.dll"), &error) || FAILED(host.HoldAutomationServer()))
        {
            printf("  cannot set up the host: %s\n\n", error.c_str());
            RunServerCommand("unregister");
            return;
        }
        std::vector<std::string> ids;
        std::vector<std::vector<BYTE> > binaryIds(messages);
        for (int i = 0; i < messages; ++i)
        {
            ids.push_back(MessageId(i));
            HexToBytes(ids.back(), &binaryIds[i]);
        }

        CLSID clsid;
        CLSIDFromProgID(L"Outlook.Application", &clsid);
        BSTR mapiName = Bstr("MAPI");
        BSTR groupName = Bstr("Group");
        BSTR value = Bstr(std::string("TB2 : ") + kCollection);
        BSTR storeId = Bstr(kStoreId);
        std::vector<BSTR> entryIds;
        for (int i = 0; i < messages; ++i)
        {
            entryIds.push_back(Bstr(ids[i]));
        }

        // Each run times every variant once over a fresh mailbox, one after the other, so a
        // busy moment of the machine hits all of them alike rather than one whole variant.
        HRESULT failed = S_OK;
        HRESULT floorFailed = S_OK;
        int filed = messages;
        int floorFiled = messages;
        std::vector<double> ourTimes, floorTimes, readingTimes, mapiTimes, modelTimes, initTimes;
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        const auto perMessage = [&](const LARGE_INTEGER& start) {
            LARGE_INTEGER end;
            QueryPerformanceCounter(&end);
            return 1e6 * double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart) / messages;
        };
        const auto bare = [&](bool readFirst) {
            LARGE_INTEGER start;
            QueryPerformanceCounter(&start);
            for (int i = 0; i < messages; ++i)
            {
                const HRESULT hr = FileBare(clsid, mapiName, groupName, value, entryIds[i], storeId, readFirst);
                floorFailed = FAILED(hr) ? hr : floorFailed;
            }
            return perMessage(start);
        };
        Watchdog watchdog = {CreateEventA(NULL, FALSE, FALSE, NULL), CreateEventA(NULL, TRUE, FALSE, NULL), 0};
        HANDLE watcher = CreateThread(NULL, 0, WatchRuns, &watchdog, 0, NULL);
        for (int r = 0; r < runs && watchdog.stalled == 0; ++r)
        {
            SetEvent(watchdog.progress);
            LARGE_INTEGER start;
            WriteMailbox(mailbox, fresh);
            QueryPerformanceCounter(&start);
            for (int i = 0; i < messages; ++i)
            {
                const HRESULT hr = host.Execute(kCollection, ids[i]);
                failed = FAILED(hr) ? hr : failed;
            }
            ourTimes.push_back(perMessage(start));
            filed = std::min(filed, FiledMessages(mailbox));

            SetEvent(watchdog.progress);
            WriteMailbox(mailbox, fresh);
            floorTimes.push_back(bare(false));
            floorFiled = std::min(floorFiled, FiledMessages(mailbox));

            SetEvent(watchdog.progress);
            WriteMailbox(mailbox, fresh);
            readingTimes.push_back(bare(true));

            // The split, in this process, with the same objects the DLL is built from.
            SetEvent(watchdog.progress);
            WriteMailbox(mailbox, fresh);
            double mapiUs = 0, modelUs = 0, initUs = 0;
            for (int i = 0; i < messages; ++i)
            {
                ExecuteSplit(host.site(), binaryIds[i], &mapiUs, &modelUs, &initUs);
            }
            initTimes.push_back(initUs / messages);
            mapiTimes.push_back(mapiUs / messages);
            modelTimes.push_back(modelUs / messages);
        }
        SetEvent(watchdog.stop);
        if (watcher != NULL)
        {
            WaitForSingleObject(watcher, INFINITE);
            CloseHandle(watcher);
        }
        CloseHandle(watchdog.progress);
        CloseHandle(watchdog.stop);
        if (watchdog.stalled != 0 || modelTimes.empty())
        {
            printf("  not measured: the automation server stopped answering for %lu s (a DCOM\n"
                   "  deadlock inside the server under Wine); run the command again\n\n",
                   static_cast<unsigned long>(kStallMs / 1000));
            for (size_t i = 0; i < entryIds.size(); ++i)
            {
                SysFreeString(entryIds[i]);
            }
            SysFreeString(mapiName);
            SysFreeString(groupName);
            SysFreeString(value);
            SysFreeString(storeId);
            host.ReleaseAutomationServer();
            RunServerCommand("unregister");
            DeleteFileA(mailbox.c_str());
            return;
        }
        const Figures ours = FiguresOf(ourTimes);
        const Figures floor = FiguresOf(floorTimes);
        const Figures readingFloor = FiguresOf(readingTimes);

        PrintRow("Execute (simulator -> TB_RULE.dll -> server)", ours);
        PrintRow("bare client of the same server (floor)", floor);
        PrintPairedRatio("ratio", ourTimes, floorTimes);
        PrintRow("bare client that also reads the value first", readingFloor);
        PrintPairedRatio("ratio", ourTimes, readingTimes);
        PrintRow("  of Execute: MAPI (session..message)", FiguresOf(mapiTimes));
        PrintRow("    of which MAPIInitialize + MAPIUninitialize", FiguresOf(initTimes));
        PrintRow("  of Execute: object model (TagMessage)", FiguresOf(modelTimes));
        if (failed != S_OK || floorFailed != S_OK || filed != messages || floorFiled != messages)
        {
            printf("  note: Execute 0x%08lX, %d/%d filed; floor 0x%08lX, %d/%d filed\n",
                   static_cast<unsigned long>(failed), filed, messages,
                   static_cast<unsigned long>(floorFailed), floorFiled, messages);
        }
        for (size_t i = 0; i < entryIds.size(); ++i)
        {
            SysFreeString(entryIds[i]);
        }
        SysFreeString(mapiName);
        SysFreeString(groupName);
        SysFreeString(value);
        SysFreeString(storeId);
    }
    RunServerCommand("unregister");
    DeleteFileA(mailbox.c_str());
    printf("\n");
}
