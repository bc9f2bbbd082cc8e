#include "e2e/e2e_support.h"

#include <stdio.h>
#include <tlhelp32.h>
#include <vector>

std::string BesideTest(const std::string& name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "\\" + name;
}

namespace
{

// Reads what the pipe holds now, without blocking.
void Drain(HANDLE pipe, std::string* text)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, NULL, 0, NULL, &available, NULL) && available > 0)
    {
        char chunk[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, available < sizeof(chunk) ? available : sizeof(chunk), &got, NULL) || got == 0)
        {
            return;
        }
        text->append(chunk, got);
    }
}

} // namespace

std::vector<DWORD> ServerProcesses()
{
    std::vector<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
    {
        return found;
    }
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    {
        if (lstrcmpiA(entry.szExeFile, "tb_mailserver.exe") == 0)
        {
            found.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return found;
}


int RunProgram(const std::string& commandLine, std::string* output, DWORD timeoutMs)
{
    output->clear();
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    {
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process;
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(writeEnd);
    if (!started)
    {
        CloseHandle(readEnd);
        return -1;
    }
    // Read while the program runs, and stop at its end: a server it started may hold the
    // pipe open for longer.
    DWORD exitCode = static_cast<DWORD>(-1);
    DWORD start = GetTickCount();
    for (;;)
    {
        Drain(readEnd, output);
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0)
        {
            Drain(readEnd, output);
            GetExitCodeProcess(process.hProcess, &exitCode);
            break;
        }
        if (GetTickCount() - start > timeoutMs)
        {
            TerminateProcess(process.hProcess, static_cast<UINT>(-1));
            WaitForSingleObject(process.hProcess, 5000);
            exitCode = static_cast<DWORD>(-1);
            break;
        }
    }
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

bool RegisterServer(const std::string& mailboxPath, unsigned lifetimeSeconds)
{
    char lifetime[16];
    sprintf(lifetime, "%u", lifetimeSeconds);
    std::string output;
    return RunProgram("\"" + BesideTest("tb_mailserver.exe") + "\" register \"" + mailboxPath + "\" --lifetime " +
                          lifetime,
                      &output) == 0;
}

bool UnregisterServer()
{
    std::string output;
    return RunProgram("\"" + BesideTest("tb_mailserver.exe") + "\" unregister", &output) == 0;
}

int EndLeftoverServers(DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    int ended = 0;
    std::vector<DWORD> left = ServerProcesses();
    for (size_t i = 0; i < left.size(); ++i)
    {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, left[i]);
        if (process == NULL)
        {
            continue; // already gone
        }
        DWORD spent = GetTickCount() - start;
        if (WaitForSingleObject(process, spent < timeoutMs ? timeoutMs - spent : 0) != WAIT_OBJECT_0)
        {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            ++ended;
        }
        CloseHandle(process);
    }
    return ended;
}

std::string DefaultStoreId()
{
    return "0000000038A1BB1005E5101AA1BB08002B2A56C2E201";
}

std::string MessageId(size_t index)
{
    char id[16];
    sprintf(id, "%04X", static_cast<unsigned>(index + 1));
    return "00000000B7E3C0CF6E4A4D7B9F1C2D3E4F5A6B7CE2E1" + std::string(id);
}

Mailbox MailboxWithGroups(const char* const* groups, size_t count)
{
    Mailbox box;
    MailboxStore store = {DefaultStoreId(), "Personal Folders", true};
    MailboxStore other = {"0000000038A1BB1005E5101AA1BB08002B2A56C2E202", "Archive", false};
    box.stores.push_back(store);
    box.stores.push_back(other);
    for (size_t i = 0; i < count; ++i)
    {
        MailboxMessage message;
        message.entryId = MessageId(i);
        message.storeId = store.entryId;
        message.isMail = true;
        std::string group = groups[i] != NULL ? groups[i] : "";
        if (group.compare(0, 6, "other:") == 0)
        {
            message.isMail = false;
            group = group.substr(6);
        }
        message.subject = "message " + MessageId(i).substr(MessageId(i).size() - 4);
        if (groups[i] != NULL && !(group.empty() && !message.isMail))
        {
            MailboxUserProperty property = {"Group", group};
            message.userProperties.push_back(property);
        }
        box.messages.push_back(message);
    }
    return box;
}

std::string GroupOf(const Mailbox& box, const std::string& entryId)
{
    const MailboxMessage* message = box.FindMessage(entryId);
    if (message == NULL)
    {
        return "(message gone)";
    }
    const MailboxUserProperty* group = message->FindUserProperty("Group");
    return group == NULL ? "(none)" : group->value;
}
