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
    // Also fail each call on the failure path after each failure. Each run shows a dialog, so
    // the pairs of the long creation run (over 1,100, about a minute) stay out of the suite.
    bool pairs;
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
        int injectedCount;
        Lines traces;
        std::string name;    // what the host got, "" when nothing was written
        std::string display;
    };

    Run Fire(size_t index, FaultMode mode, size_t second = 0)
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
            injector.Arm(index, mode, second);
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
            run.injectedCount = injector.InjectedCount();
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
        int added = 0;
        for (int number = 3; number <= 8; ++number)
        {
            const std::string stored = tallybook_key::LoadName(number);
            EXPECT_TRUE(stored == "<none>" || stored == "Gym") << number << ": " << stored;
            added += stored == "Gym" ? 1 : 0;
        }
        EXPECT_LE(added, 1) << "one new collection at most";
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

// After each failure, every call the failure path makes fails as well: whatever the second
// failure, the host still gets both texts or neither, and nothing is lost or left open.
TEST_P(ConfigureSweepTest, ASecondFailureOnTheFailurePathLeavesNothingBehind)
{
    if (!GetParam().pairs && getenv("TB_SWEEP_ALL") == NULL)
    {
        GTEST_SKIP() << "about a minute of dialogs: run with TB_SWEEP_ALL=1";
    }
    Fire(0, kFaultFail);
    const std::vector<FaultCall> calls = Fire(0, kFaultFail).calls;
    int injected = 0;
    for (size_t k = 1; k <= calls.size(); ++k)
    {
        // Twice: the first exception on a thread sets up what later ones reuse.
        Fire(k, kFaultFail);
        const std::vector<FaultCall> failurePath = Fire(k, kFaultFail).calls;
        for (size_t j = k + 1; j <= failurePath.size(); ++j)
        {
            SCOPED_TRACE("fail " + calls[k - 1].name + " (call " + std::to_string(k) + "), then " +
                         failurePath[j - 1].name + " (call " + std::to_string(j) + ")");
            const Run run = Fire(k, kFaultFail, j);
            ASSERT_EQ(2, run.injectedCount);
            ++injected;
            EXPECT_TRUE(run.result == S_OK || run.result == TYPE_E_OUTOFBOUNDS ||
                        run.result == E_OUTOFMEMORY)
                << std::hex << run.result;
        }
    }
    printf("[ sweep    ] Configure, %s, failure paths: %d pairs of faults injected\n",
           GetParam().name, injected);
    RecordProperty("fault_pairs_injected", injected);
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
                 },
                 true},
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
                 },
                 false},
        Scenario{"Cancel",
                 [](DialogDriver& driver) {
                     driver.Then(ThenClose([](HWND dialog) { Click(dialog, IDCANCEL); }));
                 },
                 true}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });
