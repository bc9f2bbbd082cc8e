// The fault sweep of Configure, through TB_RULE.dll as the host calls it: a counting site, a
// real host window, the real dialogs driven under Xvfb, guarded host buffers and the real
// registry. Every fallible call the DLL makes is counted (the site, allocations, the dialog
// box, its controls and list-box messages, the string resource, the registry); then each one
// fails once, and each one that may come back empty does so once. After each run: no exception
// got out, no dialog is left open, the host's window is enabled again, the site was neither
// kept nor released, both host buffers are written (consistently) or neither is, nothing is
// written past them, the stored collections are all still there, and the result is one that
// Configure documents.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "configure/host_site.h"
#include "support/mapi_scripted_fakes.h"
#include "support/debug_trace.h"
#include "support/dialog_driver.h"
#include "support/fault_injection.h"
#include "support/guarded_buffer.h"
#include "support/import_hooks.h"
#include "support/rule_module.h"
#include "support/tallybook_key.h"

namespace
{
typedef std::vector<std::string> Lines;

const int kList = 1000, kNew = 1002, kName = 1004;
const char kDisplayPrefix[] = "Add To Collection ";

// An action that, whatever happened inside it, leaves no dialog of its own open: a dialog
// that a failure kept from ending is cancelled, as a user would close it.
DialogDriver::Action ThenClose(std::function<void(HWND)> act)
{
    return [act](HWND dialog) {
        act(dialog);
        if (IsWindow(dialog) && IsWindowVisible(dialog))
        {
            Click(dialog, IDCANCEL);
        }
    };
}

struct Scenario
{
    const char* name;
    std::function<void(DialogDriver&)> drive;
};

void PrintTo(const Scenario& scenario, std::ostream* os)
{
    *os << scenario.name;
}

BOOL CALLBACK CountVisibleDialog(HWND window, LPARAM count)
{
    char className[16] = {0};
    GetClassNameA(window, className, sizeof(className));
    if (strcmp(className, "#32770") == 0 && IsWindowVisible(window))
    {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

int OpenDialogs()
{
    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountVisibleDialog, reinterpret_cast<LPARAM>(&count));
    return count;
}

class ConfigureSweepTest : public ::testing::TestWithParam<Scenario>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(host.handle() != NULL);
        ASSERT_TRUE(module.handle() != NULL);
        hooks.reset(new ImportHooks(module.handle()));
        for (const char* wanted : {"DialogBoxParamA", "LoadStringA", "GetDlgItem", "SendMessageA",
                                   "RegOpenKeyExA", "RegQueryValueExA", "RegCreateKeyExA",
                                   "RegSetValueExA", "malloc"})
        {
            ASSERT_TRUE(hooks->IsHooked(wanted)) << wanted << " is imported and hooked";
        }
        action = module.CreateAction();
        ASSERT_TRUE(action != NULL);
    }

    void TearDown() override
    {
        if (action != NULL)
        {
            action->Release();
        }
        hooks.reset();
        tallybook_key::DeleteAll();
    }

    struct Run
    {
        HRESULT result;
        bool escaped;
        std::vector<FaultCall> calls;
        bool injected;
        Lines traces;
        std::string name;    // what the host got, "" when nothing was written
        std::string display;
    };

    Run Fire(size_t index, FaultMode mode)
    {
        tallybook_key::DeleteAll();
        tallybook_key::StoreName(1, "Work");
        tallybook_key::StoreName(2, "Home");
        CallLog log;
        FakeSite site(&log);
        site.window = host.handle();
        GuardedBuffer nameBuffer(256);
        GuardedBuffer displayBuffer(256);
        Run run;
        run.escaped = false;
        run.result = E_UNEXPECTED;
        {
            DebugTraceCapture traces;
            DialogDriver driver;
            GetParam().drive(driver);
            FaultInjector& injector = FaultInjector::Instance();
            injector.Arm(index, mode);
            try
            {
                run.result = action->Configure(&site, nameBuffer.data(), 255, displayBuffer.data(), 255);
            }
            catch (...)
            {
                run.escaped = true;
            }
            injector.Disarm();
            run.traces = traces.texts();
            run.calls = injector.Calls();
            run.injected = injector.Injected();
        }

        EXPECT_FALSE(run.escaped) << "an exception reached the host";
        EXPECT_EQ(0, OpenDialogs()) << "no dialog is left open";
        EXPECT_TRUE(IsWindowEnabled(host.handle())) << "the host's window is usable again";
        EXPECT_EQ(1, site.counter.refs()) << "the site is neither kept nor released";
        EXPECT_TRUE(nameBuffer.GuardsIntact());
        EXPECT_TRUE(displayBuffer.GuardsIntact());
        if (nameBuffer.Untouched() && displayBuffer.Untouched())
        {
            EXPECT_FALSE(run.result == S_OK && run.traces.empty())
                << "a success without a trace writes both texts";
        }
        else
        {
            run.name = nameBuffer.Text();
            run.display = displayBuffer.Text();
            EXPECT_EQ(S_OK, run.result) << "only a success writes";
            EXPECT_FALSE(run.name.empty());
            EXPECT_EQ(kDisplayPrefix + run.name, run.display) << "both texts, and they agree";
            EXPECT_EQ(run.name.size() + 1, nameBuffer.BytesWritten());
            EXPECT_EQ(run.display.size() + 1, displayBuffer.BytesWritten());
        }
        // Nothing the user had is lost; at most the one new collection is added.
        EXPECT_EQ("Work", tallybook_key::LoadName(1));
        EXPECT_EQ("Home", tallybook_key::LoadName(2));
        // A number that could not be examined is passed over rather than written over, so the
        // new one may land after it.
        const std::string third = tallybook_key::LoadName(3);
        const std::string fourth = tallybook_key::LoadName(4);
        EXPECT_TRUE((third == "<none>" || third == "Gym") && (fourth == "<none>" || fourth == "Gym") &&
                    !(third == "Gym" && fourth == "Gym"))
            << third << ", " << fourth;
        EXPECT_EQ("<none>", tallybook_key::LoadName(5));
        return run;
    }

    HostWindow host;
    RuleModule module;
    std::unique_ptr<ImportHooks> hooks;
    IRuleAction* action = NULL;
};
} // namespace

TEST_P(ConfigureSweepTest, EveryCountedCallFailsOnceAndTheHostGetsBothTextsOrNeither)
{
    // Once first, for what a thread's first dialog sets up; then the run that counts.
    Fire(0, kFaultFail);
    const Run clean = Fire(0, kFaultFail);
    const std::vector<FaultCall> calls = clean.calls;
    ASSERT_TRUE(clean.traces.empty());
    if (getenv("TB_SWEEP_VERBOSE") != NULL)
    {
        for (size_t i = 0; i < calls.size(); ++i)
        {
            printf("[ sweep    ] %3u %s #%d%s\n", static_cast<unsigned>(i + 1), calls[i].name.c_str(),
                   calls[i].occurrence, calls[i].nullable ? " (can be empty)" : "");
        }
    }

    int injected = 0;
    for (FaultMode mode : {kFaultFail, kFaultNull})
    {
        for (size_t k = 1; k <= calls.size(); ++k)
        {
            const FaultCall& call = calls[k - 1];
            if (mode == kFaultNull && !call.nullable)
            {
                continue;
            }
            if (getenv("TB_SWEEP_VERBOSE") != NULL)
            {
                printf("[ sweep    ] %s call %u\n", mode == kFaultFail ? "failing" : "emptying",
                       static_cast<unsigned>(k));
                fflush(stdout);
            }
            SCOPED_TRACE(std::string(mode == kFaultFail ? "fail " : "nothing from ") + call.name +
                         " #" + std::to_string(call.occurrence) + " (call " + std::to_string(k) +
                         ")");
            const Run run = Fire(k, mode);
            ASSERT_TRUE(run.injected) << "the runs are deterministic up to the fault";
            ++injected;
            if (call.name == "site.GetWindow" && mode == kFaultFail)
            {
                EXPECT_EQ(S_OK, run.result);
                EXPECT_EQ(Lines{"Unable to obtain window!"}, run.traces);
                continue;
            }
            EXPECT_TRUE(run.traces.empty());
            // No memory is E_OUTOFMEMORY; a dialog that could not do its part chose nothing.
            EXPECT_TRUE(run.result == clean.result || run.result == TYPE_E_OUTOFBOUNDS ||
                        run.result == E_OUTOFMEMORY)
                << std::hex << run.result;
            if (call.name == "malloc" && mode == kFaultFail && call.occurrence == 1)
            {
                EXPECT_EQ(E_OUTOFMEMORY, run.result);
            }
            if (call.name == "DialogBoxParamA" && call.occurrence == 1)
            {
                EXPECT_EQ(TYPE_E_OUTOFBOUNDS, run.result) << "no dialog, nothing chosen";
            }
            if (run.result == S_OK)
            {
                // A stored entry that could not be read or listed ends the list early, so the
                // entry picked may be another stored one.
                EXPECT_TRUE(run.name == clean.name || run.name == "Work" || run.name == "Home")
                    << run.name;
            }
        }
    }
    printf("[ sweep    ] Configure, %s: %u calls counted, %d faults injected\n", GetParam().name,
           static_cast<unsigned>(calls.size()), injected);
    RecordProperty("faults_injected", injected);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, ConfigureSweepTest,
    ::testing::Values(
        Scenario{"PickStored",
                 [](DialogDriver& driver) {
                     driver.Then(ThenClose([](HWND dialog) {
                         SelectEntry(dialog, kList, 0);
                         Click(dialog, IDOK);
                     }));
                 }},
        Scenario{"CreateNew",
                 [](DialogDriver& driver) {
                     driver
                         .Then(ThenClose([](HWND dialog) {
                             Click(dialog, kNew);
                             Click(dialog, IDOK);
                         }))
                         .Then(ThenClose([](HWND dialog) {
                             TypeText(dialog, kName, "Gym");
                             Click(dialog, IDOK);
                         }));
                 }},
        Scenario{"Cancel",
                 [](DialogDriver& driver) {
                     driver.Then(ThenClose([](HWND dialog) { Click(dialog, IDCANCEL); }));
                 }}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });
