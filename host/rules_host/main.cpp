// tb_rulehost: a simulated rules engine of the mail client. It loads a rule-action DLL as the
// client does and lets a person (or a script) build rules with it and fire them on the messages
// of the test mailbox.
//
//   tb_rulehost [--dll <path>] [--mailbox <path>] [--rules <path>] <command>
//     demo-mailbox                 write the demo mailbox (every case of the tagging rule)
//     list                         the messages with their "Group" values
//     configure [--script <steps>] add a rule with the action's dialog (see dialog_driver.h)
//     describe                     each rule's description, from the action
//     rules                        the rules as the rules engine keeps them
//     clear-rules                  forget every rule
//     run [--cold]                 fire every rule on every message; --cold: do not keep the
//                                  automation server warm
#include <stdio.h>
#include <string.h>
#include <string>
#include <vector>
#include <windows.h>
#include <ole2.h>

#include "host/mailbox/mailbox.h"
#include "host/rules_host/dialog_driver.h"
#include "host/rules_host/mapi_library.h"
#include "host/rules_host/rule_host.h"
#include "host/rules_host/trace_capture.h"

namespace
{

struct Options
{
    std::string dll;
    std::string mailbox;
    std::string rules;
    std::string command;
    std::string script;
    bool cold;
};

std::string BesideExe(const char* name)
{
    char path[MAX_PATH] = {0};
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string dir(path);
    size_t slash = dir.find_last_of("\\/");
    return (slash == std::string::npos ? std::string(".") : dir.substr(0, slash)) + "\\" + name;
}

std::string GroupText(const MailboxMessage* message)
{
    if (message == NULL)
    {
        return "(message gone)";
    }
    const MailboxUserProperty* group = message->FindUserProperty("Group");
    return group == NULL ? "(no property)" : "\"" + group->value + "\"";
}

std::string Cell(const std::string& text, size_t width)
{
    return text.size() >= width ? text.substr(0, width - 1) + " " : text + std::string(width - text.size(), ' ');
}

void PrintTable(const Mailbox& before, const Mailbox* after)
{
    printf("  %s%s%s\n", Cell("Message", 36).c_str(), Cell("Kind", 7).c_str(),
           after != NULL ? (Cell("Group before", 26) + "Group after").c_str() : "Group");
    for (size_t i = 0; i < before.messages.size(); ++i)
    {
        const MailboxMessage& message = before.messages[i];
        std::string line = "  " + Cell(message.subject, 36) + Cell(message.isMail ? "mail" : "other", 7);
        if (after == NULL)
        {
            line += GroupText(&message);
        }
        else
        {
            std::string old = GroupText(&message);
            std::string now = GroupText(after->FindMessage(message.entryId));
            line += Cell(old, 26) + now + (old == now ? "  (unchanged)" : "");
        }
        printf("%s\n", line.c_str());
    }
}

bool LoadMailbox(const Options& options, Mailbox* box)
{
    std::string error;
    if (!box->Load(options.mailbox, &error))
    {
        fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        return false;
    }
    return true;
}

void PrintTraces(TraceCapture& traces, const char* indent)
{
    std::vector<std::string> lines = traces.Take();
    for (size_t i = 0; i < lines.size(); ++i)
    {
        std::string line = lines[i];
        while (!line.empty() && (line[line.size() - 1] == '\n' || line[line.size() - 1] == '\r'))
        {
            line.erase(line.size() - 1);
        }
        printf("%strace: %s\n", indent, line.c_str());
    }
}

int Configure(const Options& options, RuleHost& host, TraceCapture& traces)
{
    std::vector<HostRule> rules;
    std::string error;
    if (!LoadRules(options.rules, &rules, &error))
    {
        fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        return 1;
    }
    HostRule rule;
    HRESULT hr;
    {
        DialogDriver driver(options.script);
        hr = host.Configure(&rule);
        for (size_t i = 0; i < driver.shots().size(); ++i)
        {
            printf("Dialog picture: %s\n", driver.shots()[i].c_str());
        }
        for (size_t i = 0; i < driver.problems().size(); ++i)
        {
            fprintf(stderr, "tb_rulehost: dialog script: %s\n", driver.problems()[i].c_str());
        }
    }
    printf("Configure -> %s\n", HResultText(hr).c_str());
    PrintTraces(traces, "  ");
    if (hr != S_OK || rule.data.empty())
    {
        printf("No rule added.\n");
        return hr == S_OK ? 0 : 1;
    }
    rules.push_back(rule);
    if (!SaveRules(options.rules, rules, &error))
    {
        fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        return 1;
    }
    printf("Rule %u added: data \"%s\", display \"%s\"\n", static_cast<unsigned>(rules.size()), rule.data.c_str(),
           rule.display.c_str());
    return 0;
}

int Describe(const Options& options, RuleHost& host)
{
    std::vector<HostRule> rules;
    std::string error;
    if (!LoadRules(options.rules, &rules, &error))
    {
        fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        return 1;
    }
    if (rules.empty())
    {
        printf("No rules.\n");
    }
    for (size_t i = 0; i < rules.size(); ++i)
    {
        std::string text;
        HRESULT hr = host.Describe(rules[i].data, &text);
        printf("Rule %u: \"%s\" -> Describe %s \"%s\"\n", static_cast<unsigned>(i + 1), rules[i].display.c_str(),
               HResultText(hr).c_str(), text.c_str());
    }
    return 0;
}

int Run(const Options& options, RuleHost& host, TraceCapture& traces)
{
    std::vector<HostRule> rules;
    std::string error;
    Mailbox before;
    if (!LoadRules(options.rules, &rules, &error) || !LoadMailbox(options, &before))
    {
        if (!error.empty())
        {
            fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        }
        return 1;
    }
    if (!options.cold)
    {
        DWORD start = GetTickCount();
        HRESULT hr = host.HoldAutomationServer();
        if (SUCCEEDED(hr))
        {
            printf("Automation server \"Outlook.Application\" started and kept running (%lu ms)\n",
                   GetTickCount() - start);
        }
        else
        {
            printf("Automation server \"Outlook.Application\" not available: %s\n", HResultText(hr).c_str());
        }
    }
    int failures = 0;
    if (rules.empty())
    {
        printf("No rules to run.\n");
    }
    for (size_t r = 0; r < rules.size(); ++r)
    {
        printf("Rule %u: \"%s\"\n", static_cast<unsigned>(r + 1), rules[r].display.c_str());
        for (size_t m = 0; m < before.messages.size(); ++m)
        {
            const MailboxMessage& message = before.messages[m];
            DWORD start = GetTickCount();
            HRESULT hr = host.Execute(rules[r].data, message.entryId);
            printf("  %s Execute -> %s (%lu ms)\n", Cell(message.subject, 36).c_str(), HResultText(hr).c_str(),
                   GetTickCount() - start);
            PrintTraces(traces, "    ");
            failures += FAILED(hr) ? 1 : 0;
        }
    }
    host.ReleaseAutomationServer();

    Mailbox after;
    if (!LoadMailbox(options, &after))
    {
        return 1;
    }
    printf("\n\"Group\" values before and after:\n");
    PrintTable(before, &after);
    return failures == 0 ? 0 : 3;
}

bool ParseOptions(int argc, char** argv, Options* options)
{
    options->dll = BesideExe("TB_RULE.dll");
    options->mailbox = "mailbox.txt";
    options->rules = "rules.txt";
    options->cold = false;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--dll" && hasValue)
        {
            options->dll = argv[++i];
        }
        else if (arg == "--mailbox" && hasValue)
        {
            options->mailbox = argv[++i];
        }
        else if (arg == "--rules" && hasValue)
        {
            options->rules = argv[++i];
        }
        else if (arg == "--script" && hasValue)
        {
            options->script = argv[++i];
        }
        else if (arg == "--cold")
        {
            options->cold = true;
        }
        else if (options->command.empty() && arg.compare(0, 2, "--") != 0)
        {
            options->command = arg;
        }
        else
        {
            return false;
        }
    }
    return !options->command.empty();
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options))
    {
        fprintf(stderr, "usage: tb_rulehost [--dll <path>] [--mailbox <path>] [--rules <path>] <command>\n"
                        "  demo-mailbox | list | configure [--script <steps>] | describe | rules |\n"
                        "  clear-rules | run [--cold]\n");
        return 2;
    }
    setvbuf(stdout, NULL, _IONBF, 0);

    if (options.command == "demo-mailbox")
    {
        std::string error;
        if (!MakeDemoMailbox().Save(options.mailbox, &error))
        {
            fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
            return 1;
        }
        printf("Demo mailbox written to %s\n", options.mailbox.c_str());
        return 0;
    }
    if (options.command == "list")
    {
        Mailbox box;
        if (!LoadMailbox(options, &box))
        {
            return 1;
        }
        PrintTable(box, NULL);
        return 0;
    }
    if (options.command == "rules" || options.command == "clear-rules")
    {
        std::vector<HostRule> rules;
        std::string error;
        bool ok = options.command == "rules" ? LoadRules(options.rules, &rules, &error)
                                             : SaveRules(options.rules, rules, &error);
        if (!ok)
        {
            fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
            return 1;
        }
        for (size_t i = 0; i < rules.size(); ++i)
        {
            printf("Rule %u: data \"%s\", display \"%s\"\n", static_cast<unsigned>(i + 1), rules[i].data.c_str(),
                   rules[i].display.c_str());
        }
        return 0;
    }
    if (options.command != "configure" && options.command != "describe" && options.command != "run")
    {
        fprintf(stderr, "tb_rulehost: unknown command %s\n", options.command.c_str());
        return 2;
    }

    // The mail client runs with OLE and MAPI initialised; the action relies on neither being
    // done by itself at load.
    OleInitialize(NULL);
    HRESULT mapi = MapiLibrary::Instance().Initialize();
    if (FAILED(mapi) && options.command == "run")
    {
        fprintf(stderr, "tb_rulehost: MAPIInitialize failed: %s (is the MAPI provider configured?)\n",
                HResultText(mapi).c_str());
    }
    int exitCode = 1;
    {
        TraceCapture traces;
        RuleHost host(options.mailbox);
        std::string error;
        if (!host.LoadAction(options.dll, &error))
        {
            fprintf(stderr, "tb_rulehost: %s\n", error.c_str());
        }
        else if (options.command == "configure")
        {
            exitCode = Configure(options, host, traces);
        }
        else if (options.command == "describe")
        {
            exitCode = Describe(options, host);
        }
        else
        {
            exitCode = Run(options, host, traces);
        }
    }
    if (SUCCEEDED(mapi))
    {
        MapiLibrary::Instance().Uninitialize();
    }
    OleUninitialize();
    return exitCode;
}
