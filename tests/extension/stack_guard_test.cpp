// The stack guard the product code checks its frames against (MinGW builds seed it themselves,
// see cmake/mingw_stack_guard.c): set before any test runs, and a smashed stack ends the
// process instead of returning through the overwritten frame.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <windows.h>

extern "C" void* __stack_chk_guard;

namespace
{
std::string BesideThisExe(const char* name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    const size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "\\" + name;
}

// Runs the probe to its end; its exit code, and what it printed in *output.
DWORD RunProbe(int bytes, std::string* output)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    HANDLE readEnd = NULL;
    HANDLE writeEnd = NULL;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
    {
        return static_cast<DWORD>(-1);
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    std::string line = "\"" + BesideThisExe("stack_smash_probe.exe") + "\" " + std::to_string(bytes);
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    PROCESS_INFORMATION process;
    const BOOL started = CreateProcessA(NULL, &text[0], NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process);
    CloseHandle(writeEnd);
    DWORD code = static_cast<DWORD>(-1);
    if (started)
    {
        char chunk[256];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof(chunk), &got, NULL) && got > 0)
        {
            output->append(chunk, got);
        }
        WaitForSingleObject(process.hProcess, 60000);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return code;
}
} // namespace

TEST(StackGuardTest, IsSeeded)
{
    EXPECT_NE(static_cast<void*>(NULL), __stack_chk_guard);
}

TEST(StackGuardTest, AnIntactFrameReturns)
{
    std::string output;
    EXPECT_EQ(0u, RunProbe(16, &output));
    EXPECT_NE(std::string::npos, output.find("returned")) << output;
}

TEST(StackGuardTest, ASmashedFrameEndsTheProcess)
{
    std::string output;
    const DWORD code = RunProbe(64, &output);
    EXPECT_NE(0u, code);
    EXPECT_NE(3u, code);
    EXPECT_EQ(std::string::npos, output.find("returned")) << output;
}
