// install.cmd and uninstall.cmd run by cmd.exe, the registry read back afterwards.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <windows.h>

namespace
{
const char kCustomActions[] = "SOFTWARE\\Microsoft\\Exchange\\Client\\Custom Actions";
const char kActionName[] = "Add To Collection";
const char kTallybook[] = "Software\\Tallybook";
const char kGroups[] = "Software\\Tallybook\\Groups";

// A 32-bit client on 64-bit Windows reads the 32-bit view; ask for it so the checks mean the same
// thing on both.
const REGSAM kView = KEY_WOW64_32KEY;

class Handle
{
public:
    explicit Handle(HANDLE h = NULL) : m_h(h) {}
    ~Handle() { reset(); }
    HANDLE get() const { return m_h; }
    HANDLE* put() { reset(); return &m_h; }
    void reset()
    {
        if (m_h != NULL && m_h != INVALID_HANDLE_VALUE)
        {
            CloseHandle(m_h);
        }
        m_h = NULL;
    }

private:
    Handle(const Handle&);
    Handle& operator=(const Handle&);
    HANDLE m_h;
};

class Key
{
public:
    Key() : m_key(NULL) {}
    ~Key() { reset(); }
    HKEY get() const { return m_key; }
    HKEY* put() { reset(); return &m_key; }
    void reset()
    {
        if (m_key != NULL)
        {
            RegCloseKey(m_key);
        }
        m_key = NULL;
    }

private:
    Key(const Key&);
    Key& operator=(const Key&);
    HKEY m_key;
};

std::string ModuleFolder()
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string folder(path);
    return folder.substr(0, folder.find_last_of('\\'));
}

std::string WindowsFolder()
{
    char path[MAX_PATH] = {0};
    GetWindowsDirectoryA(path, MAX_PATH);
    return path;
}

struct ScriptRun
{
    DWORD exitCode;
    std::string output; // stdout and stderr together
};

// Runs "cmd.exe /c <command>" in the folder `cwd` and collects what it prints.
ScriptRun RunCmd(const std::string& command, const std::string& cwd)
{
    ScriptRun run = {0xFFFFFFFF, std::string()};
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inherit, 0))
    {
        ADD_FAILURE() << "CreatePipe " << GetLastError();
        return run;
    }
    SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = NULL;
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process;
    std::string line = "cmd.exe /c " + command;
    if (!CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL, cwd.c_str(),
                        &startup, &process))
    {
        ADD_FAILURE() << "CreateProcess " << GetLastError() << " for " << line;
        return run;
    }
    Handle processHandle(process.hProcess), threadHandle(process.hThread);
    writeEnd.reset(); // the pipe ends when the last child closes its copy

    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd.get(), buffer, sizeof(buffer), &got, NULL) && got > 0)
    {
        run.output.append(buffer, got);
    }
    WaitForSingleObject(processHandle.get(), INFINITE);
    GetExitCodeProcess(processHandle.get(), &run.exitCode);
    return run;
}

// Runs a script by its full path, quoted as Explorer does, so folders with spaces count.
ScriptRun RunScript(const std::string& folder, const std::string& script, const std::string& arguments,
              const std::string& cwd)
{
    std::string command = "\"\"" + folder + "\\" + script + "\"";
    if (!arguments.empty())
    {
        command += " " + arguments;
    }
    command += "\"";
    return RunCmd(command, cwd);
}

// ERROR_SUCCESS with the text and type of a value, or the error that reading gave.
LONG ReadValue(HKEY root, const char* subkey, const char* name, std::string* text, DWORD* type)
{
    Key key;
    LONG result = RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE | kView, key.put());
    if (result != ERROR_SUCCESS)
    {
        return result;
    }
    char data[1024] = {0};
    DWORD size = sizeof(data) - 1;
    result = RegQueryValueExA(key.get(), name, NULL, type, reinterpret_cast<BYTE*>(data), &size);
    if (result == ERROR_SUCCESS)
    {
        text->assign(data);
    }
    return result;
}

std::set<std::string> ValueNames(HKEY root, const char* subkey)
{
    std::set<std::string> names;
    Key key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE | kView, key.put()) != ERROR_SUCCESS)
    {
        return names;
    }
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD length = sizeof(name);
        if (RegEnumValueA(key.get(), i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
        {
            break;
        }
        names.insert(name);
    }
    return names;
}

bool KeyExists(HKEY root, const char* subkey)
{
    Key key;
    return RegOpenKeyExA(root, subkey, 0, KEY_READ | kView, key.put()) == ERROR_SUCCESS;
}

void ForgetInstallation()
{
    Key key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCustomActions, 0, KEY_SET_VALUE | kView, key.put()) ==
        ERROR_SUCCESS)
    {
        RegDeleteValueA(key.get(), kActionName);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kGroups);
}

void StoreCollection(int number, const char* name)
{
    Key key;
    const std::string subkey = std::string(kGroups) + "\\Group" + std::to_string(number);
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, subkey.c_str(), 0, NULL, 0,
                                             KEY_SET_VALUE | kView, NULL, key.put(), NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "Name", 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(name),
                                            static_cast<DWORD>(strlen(name) + 1)));
}

// A folder of the user's choosing, with the characters that trip batch files up, holding a copy
// of the DLL and the scripts — what a user gets by unpacking the bundle there.
class UnpackedBundle
{
public:
    UnpackedBundle()
    {
        char temp[MAX_PATH] = {0};
        GetTempPathA(MAX_PATH, temp);
        m_folder = std::string(temp) + "Tally Book (x86) & Co " + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(m_folder.c_str(), NULL);
        const std::string from = ModuleFolder();
        m_copied = true;
        for (const char* file : kFiles)
        {
            if (!CopyFileA((from + "\\" + file).c_str(), (m_folder + "\\" + file).c_str(), FALSE))
            {
                m_copied = false;
            }
        }
    }
    ~UnpackedBundle()
    {
        for (const char* file : kFiles)
        {
            DeleteFileA((m_folder + "\\" + file).c_str());
        }
        RemoveDirectoryA(m_folder.c_str());
    }
    const std::string& folder() const { return m_folder; }
    bool complete() const { return m_copied; }

private:
    static constexpr const char* kFiles[] = {"TB_RULE.dll", "install.cmd", "uninstall.cmd"};
    std::string m_folder;
    bool m_copied = false;
};
constexpr const char* UnpackedBundle::kFiles[];

// Sets an environment variable for the scripts that this process starts, and restores it.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const char* name, const char* value) : m_name(name), m_had(false)
    {
        char old[256];
        const DWORD length = GetEnvironmentVariableA(name, old, sizeof(old));
        m_had = length > 0 && length < sizeof(old);
        if (m_had)
        {
            m_old = old;
        }
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnvironment() { SetEnvironmentVariableA(m_name.c_str(), m_had ? m_old.c_str() : NULL); }

private:
    std::string m_name;
    std::string m_old;
    bool m_had;
};

// Makes the custom-actions key read-only for everyone (a user without administrator rights) and
// puts its access rules back afterwards.
class ReadOnlyCustomActions
{
public:
    ReadOnlyCustomActions() : m_applied(false)
    {
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kCustomActions, 0, NULL, 0,
                            READ_CONTROL | WRITE_DAC | kView, NULL, m_key.put(), NULL) != ERROR_SUCCESS)
        {
            return;
        }
        DWORD size = 0;
        RegGetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, NULL, &size);
        m_saved.resize(size);
        if (size == 0 || RegGetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, &m_saved[0],
                                           &size) != ERROR_SUCCESS)
        {
            return;
        }
        BYTE sid[SECURITY_MAX_SID_SIZE];
        PSID everyone = sid;
        DWORD sidSize = sizeof(sid);
        BYTE aclBuffer[256];
        PACL acl = reinterpret_cast<PACL>(aclBuffer);
        SECURITY_DESCRIPTOR descriptor;
        if (!CreateWellKnownSid(WinWorldSid, NULL, everyone, &sidSize) ||
            !InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION) ||
            !AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ | WRITE_DAC, everyone) ||
            !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
            !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE))
        {
            return;
        }
        m_applied = RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, &descriptor) ==
                    ERROR_SUCCESS;
    }
    ~ReadOnlyCustomActions()
    {
        if (m_applied)
        {
            RegSetKeySecurity(m_key.get(), DACL_SECURITY_INFORMATION, &m_saved[0]);
        }
    }
    bool applied() const { return m_applied; }

private:
    Key m_key;
    std::string m_saved;
    bool m_applied;
};

class InstallScriptTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ForgetInstallation();
        m_namesBefore = ValueNames(HKEY_LOCAL_MACHINE, kCustomActions);
    }
    void TearDown() override { ForgetInstallation(); }

    // The custom-actions key holds what it held before, plus our value pointing at `dll`.
    void ExpectRegistered(const std::string& dll)
    {
        std::string data;
        DWORD type = 0;
        ASSERT_EQ(ERROR_SUCCESS, ReadValue(HKEY_LOCAL_MACHINE, kCustomActions, kActionName, &data, &type));
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
        EXPECT_EQ("4.0;" + dll + ";1", data);
        std::set<std::string> expected = m_namesBefore;
        expected.insert(kActionName);
        EXPECT_EQ(expected, ValueNames(HKEY_LOCAL_MACHINE, kCustomActions));
    }

    void ExpectNotRegistered()
    {
        std::string data;
        DWORD type = 0;
        EXPECT_EQ(ERROR_FILE_NOT_FOUND,
                  ReadValue(HKEY_LOCAL_MACHINE, kCustomActions, kActionName, &data, &type))
            << data;
        EXPECT_EQ(m_namesBefore, ValueNames(HKEY_LOCAL_MACHINE, kCustomActions));
    }

    std::set<std::string> m_namesBefore;
};

TEST_F(InstallScriptTest, StoresTheFullPathOfTheDllWhereverItIsRunFrom)
{
    UnpackedBundle bundle;
    ASSERT_TRUE(bundle.complete()) << bundle.folder();
    const std::string bin = ModuleFolder();
    const std::string unpacked = bundle.folder();
    const std::string parent = unpacked.substr(0, unpacked.find_last_of('\\'));
    const std::string leaf = unpacked.substr(parent.size() + 1);

    struct Case
    {
        const char* what;
        std::string scriptFolder;
        std::string arguments;
        std::string cwd;
        std::string expectedDll;
    };
    const Case cases[] = {
        // ScriptRun as administrator from Explorer: the working folder is the system's, not the script's.
        {"DLL beside the script", bin, "", WindowsFolder(), bin + "\\TB_RULE.dll"},
        {"beside the script, folder with spaces, ( ) and &", unpacked, "", WindowsFolder(),
         unpacked + "\\TB_RULE.dll"},
        {"full path as argument", bin, "\"" + unpacked + "\\TB_RULE.dll\"", WindowsFolder(),
         unpacked + "\\TB_RULE.dll"},
        {"relative path as argument", bin, "\"" + leaf + "\\TB_RULE.dll\"", parent,
         unpacked + "\\TB_RULE.dll"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ForgetInstallation();
        for (int round = 1; round <= 2; ++round)
        {
            SCOPED_TRACE(round == 1 ? "first install" : "second install");
            const ScriptRun run = RunScript(c.scriptFolder, "install.cmd", c.arguments, c.cwd);
            EXPECT_EQ(0u, run.exitCode) << run.output;
            ExpectRegistered(c.expectedDll);
        }
    }
}

TEST_F(InstallScriptTest, UninstallRemovesOnlyTheValueAndKeepsCollectionsUnlessAsked)
{
    UnpackedBundle bundle;
    ASSERT_TRUE(bundle.complete()) << bundle.folder();
    StoreCollection(1, "Work");
    StoreCollection(2, "Home");
    ASSERT_EQ(0u, RunScript(bundle.folder(), "install.cmd", "", WindowsFolder()).exitCode);

    for (int round = 1; round <= 2; ++round)
    {
        SCOPED_TRACE(round == 1 ? "first uninstall" : "second uninstall");
        const ScriptRun run = RunScript(bundle.folder(), "uninstall.cmd", "", WindowsFolder());
        EXPECT_EQ(0u, run.exitCode) << run.output;
        ExpectNotRegistered();
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kCustomActions)) << "the client's key stays";
        std::string name;
        DWORD type = 0;
        EXPECT_EQ(ERROR_SUCCESS, ReadValue(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups\\Group2",
                                           "Name", &name, &type));
        EXPECT_EQ("Home", name);
    }

    for (int round = 1; round <= 2; ++round)
    {
        SCOPED_TRACE(round == 1 ? "first /RemoveCollections" : "second /RemoveCollections");
        const ScriptRun run = RunScript(bundle.folder(), "uninstall.cmd", "/RemoveCollections", WindowsFolder());
        EXPECT_EQ(0u, run.exitCode) << run.output;
        ExpectNotRegistered();
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kGroups));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTallybook)) << "only the collections go";
    }
}

TEST_F(InstallScriptTest, UninstallWithTheFlagAlsoRemovesTheInstallation)
{
    StoreCollection(1, "Work");
    ASSERT_EQ(0u, RunScript(ModuleFolder(), "install.cmd", "", WindowsFolder()).exitCode);
    const ScriptRun run = RunScript(ModuleFolder(), "uninstall.cmd", "/removecollections", WindowsFolder());
    EXPECT_EQ(0u, run.exitCode) << run.output;
    ExpectNotRegistered();
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kGroups));
}

TEST_F(InstallScriptTest, RejectsWhatIsNotTheDllAndChangesNothing)
{
    UnpackedBundle bundle;
    ASSERT_TRUE(bundle.complete()) << bundle.folder();
    StoreCollection(1, "Work");
    const std::string bin = ModuleFolder();
    struct Case
    {
        const char* script;
        std::string arguments;
        DWORD exitCode;
    };
    const Case cases[] = {
        {"install.cmd", "\"" + bin + "\\NoSuch.dll\"", 1},
        {"install.cmd", "\"" + bundle.folder() + "\"", 1}, // a folder, not the DLL
        {"install.cmd", "TB_RULE.dll extra", 1},
        {"uninstall.cmd", "/RemoveEverything", 1},
        {"install.cmd", "/?", 0},
        {"uninstall.cmd", "/?", 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.script) + " " + c.arguments);
        const ScriptRun run = RunScript(bin, c.script, c.arguments, bin);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find(c.script)) << "says how to call it: " << run.output;
        ExpectNotRegistered();
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tallybook\\Groups\\Group1"));
    }
}

// A 32-bit client on 64-bit Windows: the scripts ask reg.exe for the 32-bit view, whether they
// run in the 64-bit cmd.exe or in the 32-bit one. (This prefix is 32-bit, so both views are one
// here; the run shows that the switch is given and accepted.)
TEST_F(InstallScriptTest, On64BitWindowsUsesThe32BitRegistryView)
{
    struct Case
    {
        const char* what;
        const char* variable;
        const char* value;
    };
    const Case cases[] = {
        {"64-bit cmd.exe", "PROCESSOR_ARCHITECTURE", "AMD64"},
        {"32-bit cmd.exe on 64-bit Windows", "PROCESSOR_ARCHITEW6432", "AMD64"},
    };
    const std::string bin = ModuleFolder();
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        ScopedEnvironment environment(c.variable, c.value);
        const ScriptRun install = RunScript(bin, "install.cmd", "", WindowsFolder());
        EXPECT_EQ(0u, install.exitCode) << install.output;
        EXPECT_NE(std::string::npos, install.output.find("WOW6432Node")) << install.output;
        ExpectRegistered(bin + "\\TB_RULE.dll");
        const ScriptRun uninstall = RunScript(bin, "uninstall.cmd", "", WindowsFolder());
        EXPECT_EQ(0u, uninstall.exitCode) << uninstall.output;
        ExpectNotRegistered();
    }
}

TEST_F(InstallScriptTest, WithoutAdministratorRightsFailsWithExitCode2AndSaysWhy)
{
    const std::string bin = ModuleFolder();
    {
        ReadOnlyCustomActions readOnly;
        ASSERT_TRUE(readOnly.applied());
        const ScriptRun run = RunScript(bin, "install.cmd", "", WindowsFolder());
        EXPECT_EQ(2u, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("administrator")) << run.output;
        ExpectNotRegistered();
    }

    ASSERT_EQ(0u, RunScript(bin, "install.cmd", "", WindowsFolder()).exitCode);
    {
        ReadOnlyCustomActions readOnly;
        ASSERT_TRUE(readOnly.applied());
        const ScriptRun run = RunScript(bin, "uninstall.cmd", "", WindowsFolder());
        EXPECT_EQ(2u, run.exitCode) << run.output;
        EXPECT_NE(std::string::npos, run.output.find("administrator")) << run.output;
        ExpectRegistered(bin + "\\TB_RULE.dll");
    }
    EXPECT_EQ(0u, RunScript(bin, "uninstall.cmd", "", WindowsFolder()).exitCode);
    ExpectNotRegistered();
}
} // namespace
