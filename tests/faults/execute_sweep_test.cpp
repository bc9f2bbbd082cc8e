// The fault sweep of a rule firing. Execute runs through TB_RULE.dll against counting fakes
// while every fallible call the module makes is counted: the site, the session, the store
// table (also as the provider's HrQueryAllRows drives it), the store, the message, MAPI's
// functions, COM activation, every object-model call, VARIANT conversions and clears,
// automation strings and the C runtime's allocations (see support/import_hooks.h). Then one
// run per counted call makes exactly that call fail, and one run per call that can come back
// empty makes it succeed with nothing. After each run: every reference came back, the module
// holds no session or store, MAPI and COM initialisations are balanced, no exception reached
// the caller, nothing is left allocated, the traces and the result are the documented ones,
// and the item holds either its old value or the new one.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "faults/execute_bench.h"
#include "support/fault_injection.h"
#include "support/import_hooks.h"
#include "support/trace_capture.h"

namespace
{
typedef std::vector<std::string> Lines;

const char kGetDefaultStoreFailed[] = "GetDefaultStore() Failed!\n";

// What a run must end with.
struct Outcome
{
    HRESULT result;
    Lines traces;
};

// A rule firing on an item in one state; each state takes the module down other paths.
struct Scenario
{
    const char* name;
    std::function<void(ExecuteBench&)> arrange;
    // The save fails and its error is dropped: an allocation made while that error is raised
    // (the exception object) falls back on the runtime's emergency pool and changes nothing.
    bool dropsSaveError;
};

void PrintTo(const Scenario& scenario, std::ostream* os)
{
    *os << scenario.name;
}

// The documented outcome of a failure in the MAPI steps, before tagging starts.
bool MapiStepOutcome(const FaultCall& call, FaultMode mode, Outcome* out)
{
    const bool fail = mode == kFaultFail;
    const std::string& n = call.name;
    if (n == "site.GetSession")
    {
        *out = fail ? Outcome{kInjectedFailure, {"GetSession Failed!\n"}}
                    : Outcome{MAPI_E_INVALID_PARAMETER, {kGetDefaultStoreFailed}};
        return true;
    }
    if (n == "MAPIInitialize")
    {
        *out = Outcome{kInjectedFailure, {"MAPIInitialize() Failed!\n"}};
        return true;
    }
    if (n == "session.GetMsgStoresTable")
    {
        // A table that does not come back is a failing GetMsgStoresTable.
        *out = Outcome{fail ? kInjectedFailure : MAPI_E_NOT_FOUND,
                       {"GetMsgStoresTable Failed\n", kGetDefaultStoreFailed}};
        return true;
    }
    if (n == "table.SetColumns")
    {
        *out = Outcome{kInjectedFailure, {"SetColumns Failed\n", kGetDefaultStoreFailed}};
        return true;
    }
    if (n == "HrQueryAllRows" || n.compare(0, 15, "HrQueryAllRows>") == 0)
    {
        if (fail)
        {
            *out = Outcome{kInjectedFailure, {"HrQueryAllRows Failed\n", kGetDefaultStoreFailed}};
            return true;
        }
        // No rows: no default store. An empty batch after the first one only ends the rows.
        if (n == "HrQueryAllRows" || call.occurrence == 1)
        {
            *out = Outcome{MAPI_E_NOT_FOUND, {kGetDefaultStoreFailed}};
            return true;
        }
        return false;
    }
    if (n == "session.OpenMsgStore")
    {
        *out = fail ? Outcome{kInjectedFailure, {"OpenMsgStore Failed\n", kGetDefaultStoreFailed}}
                    : Outcome{MAPI_E_NOT_FOUND, {kGetDefaultStoreFailed}};
        return true;
    }
    if (n == "store.OpenEntry")
    {
        *out = fail ? Outcome{kInjectedFailure, {"Open entry on message failed\n"}}
                    : Outcome{S_OK, {}};
        return true;
    }
    return false; // GetActiveWindow, SaveChanges: the firing goes on as usual
}

// Inside tagging nothing is traced; a failure either ends tagging quietly (the result stays
// success) or raises, and Execute then returns the HRESULT that was raised.
enum TaggingKind
{
    kQuiet,
    kRaisesIt,      // the injected HRESULT
    kOutOfMemory,   // E_OUTOFMEMORY
    kNullPointer,   // E_POINTER: a call through an empty holder
    kRaisesOrQuiet, // a VARIANT clear: raises where the module clears one it built, dropped where
                    // a holder clears an unused or already given-up one on its way out
    kNotKnown
};

TaggingKind TaggingFailure(const FaultCall& call, FaultMode mode)
{
    const std::string& name = call.name;
    // The read of "Group" (the first collection asked for, and the value) raises: a value
    // that could not be read must not be written over. The write's own collection does not.
    if (mode == kFaultFail &&
        ((name == "item.get_UserProperties" && call.occurrence == 1) ||
         name == "property.get_Value"))
    {
        return kRaisesIt;
    }
    static const char* const raising[] = {
        "application.QueryInterface(_Application)", "application.GetNamespace",
        "namespace.GetItemFromID", "item.QueryInterface(_MailItem)", "properties.Find",
        "properties.Add", "VariantChangeType"};
    static const char* const allocating[] = {"SysAllocString", "SysAllocStringLen", "malloc",
                                             "calloc", "realloc", "_strdup"};
    static const char* const quiet[] = {
        "CoInitialize", "CLSIDFromProgID", "CoCreateInstance", "CoCreateInstance>factory.CreateInstance",
        "HrGetOneProp", "HrGetOneProp>message.GetProps", "item.get_UserProperties",
        "property.get_Value", "property.put_Value", "created.put_Value", "item.Save",
        "item.QueryInterface(ISupportErrorInfo)", "item.InterfaceSupportsErrorInfo",
        "GetErrorInfo"};
    for (const char* q : quiet)
    {
        if (name == q)
        {
            return kQuiet;
        }
    }
    if (mode == kFaultNull)
    {
        // Nothing there ends tagging quietly, except an application without its interface,
        // which the namespace call through the empty holder turns into E_POINTER.
        return name == "application.QueryInterface(_Application)" ? kNullPointer : kQuiet;
    }
    if (name == "VariantClear")
    {
        return kRaisesOrQuiet;
    }
    for (const char* r : raising)
    {
        if (name == r)
        {
            return kRaisesIt;
        }
    }
    for (const char* a : allocating)
    {
        if (name == a)
        {
            return kOutOfMemory;
        }
    }
    return kNotKnown;
}

class ExecuteSweepTest : public ::testing::TestWithParam<Scenario>
{
protected:
    ExecuteSweepTest() : action(NULL) {}

    void SetUp() override
    {
        ASSERT_EQ("", host.Start());
        action = host.action;
        hooks.reset(new ImportHooks(host.module->handle()));
        for (const char* wanted : {"MAPIInitialize", "HrQueryAllRows@24", "HrGetOneProp@12",
                                   "CoInitialize", "CLSIDFromProgID", "CoCreateInstance",
                                   "SysAllocString", "VariantClear", "VariantChangeType",
                                   "malloc"})
        {
            ASSERT_TRUE(hooks->IsHooked(wanted)) << wanted << " is imported and hooked";
        }
    }

    void TearDown() override
    {
        host.ReleaseAction();
        hooks.reset();
        host.Stop();
        EXPECT_EQ(S_OK, CoInitialize(NULL)) << "no COM initialisation of the module outlived a run";
        CoUninitialize();
    }

    struct Run
    {
        HRESULT result;
        bool escaped;
        std::vector<FaultCall> calls;
        bool injected;
        int injectedCount;
        Lines traces;
    };

    // One rule firing with the fault at `index` (0: none), and a second one at `second` (0:
    // none), checking every invariant that does not depend on what failed.
    Run Fire(size_t index, FaultMode mode, ExecuteBench& bench, size_t second = 0)
    {
        host.factory.object = bench.world.application.AsDispatch();
        MapiProvider& provider = host.provider;
        provider.Reset();
        const LONG blocks = provider.Counters().liveRootBlocks;
        ImportHooks::ResetCounts();
        traces.Clear();
        const std::vector<BYTE> id = ExecuteBench::MessageId();
        std::vector<BYTE> entryId = id;

        Run run;
        run.escaped = false;
        run.result = E_UNEXPECTED;
        FaultInjector& injector = FaultInjector::Instance();
        injector.Arm(index, mode, second);
        try
        {
            run.result = action->Execute(&bench.site, "Travel", static_cast<ULONG>(entryId.size()),
                                         reinterpret_cast<LPENTRYID>(&entryId[0]));
        }
        catch (...)
        {
            run.escaped = true;
        }
        injector.Disarm();
        // Taken at once: a failing expectation below is itself written to the debugger output.
        run.traces = traces.Lines();
        run.calls = injector.Calls();
        run.injected = injector.Injected();
        run.injectedCount = injector.InjectedCount();
        host.factory.object = NULL;

        EXPECT_FALSE(run.escaped) << "an exception reached the host";
        EXPECT_TRUE(bench.AllReleased()) << "every reference handed to the module came back";
        EXPECT_TRUE(bench.log.Matching("site.AddRef").empty()) << "the site is borrowed";
        EXPECT_EQ(id, entryId) << "the host's entry identifier is left as it was";
        const TbProviderCounters counters = provider.Counters();
        EXPECT_EQ(counters.initializeCalls, counters.uninitializeCalls)
            << "each MAPIInitialize that reached MAPI is balanced";
        EXPECT_LE(counters.initializeCalls, 1);
        EXPECT_EQ(blocks, counters.liveRootBlocks) << "row sets and property values freed";
        EXPECT_EQ(0, counters.badFrees);
        const ImportCounts com = ImportHooks::Counts();
        EXPECT_EQ(com.coInitializeSucceeded, com.coUninitialize) << "COM initialisation balanced";
        EXPECT_EQ(S_FALSE, CoInitialize(NULL)) << "the caller's own COM initialisation is intact";
        CoUninitialize();
        EXPECT_LE(bench.log.Matching("item.Save").size(), 1u);

        // The module holds nothing any more: Shutdown finds no session and no store.
        bench.log.Clear();
        EXPECT_EQ(S_OK, action->Shutdown());
        EXPECT_TRUE(bench.log.entries().empty()) << "g_session and g_store are null";
        return run;
    }

    DllHost host;
    TraceCapture traces;
    std::unique_ptr<ImportHooks> hooks;
    IRuleAction* action;
};
} // namespace

TEST_P(ExecuteSweepTest, EveryCountedCallFailsOnceAndNothingIsLostLeakedOrEscapes)
{
    // The run without a fault: what every call index refers to, and the item's two states.
    std::string before;
    std::string after;
    std::vector<FaultCall> calls;
    HRESULT cleanResult;
    {
        // Once first, so that what the runtime sets up on a thread's first exception or first
        // call is done and every run after it makes the same calls.
        ExecuteBench warmUp;
        GetParam().arrange(warmUp);
        Fire(0, kFaultFail, warmUp);
    }
    {
        ExecuteBench bench;
        GetParam().arrange(bench);
        before = bench.GroupText();
        const Run clean = Fire(0, kFaultFail, bench);
        cleanResult = clean.result;
        calls = clean.calls;
        after = bench.GroupText();
        ASSERT_EQ(S_OK, clean.result);
        ASSERT_EQ(Lines(), clean.traces);
    }
    // Call numbers from 1; what follows the commit of the message is tagging.
    size_t committedAt = calls.size();
    for (size_t i = 0; i < calls.size(); ++i)
    {
        if (calls[i].name == "message.SaveChanges")
        {
            committedAt = i + 1;
        }
    }
    ASSERT_LT(committedAt, calls.size()) << "the clean run reached tagging";
    size_t savedAt = calls.size() + 1;
    for (size_t i = 0; i < calls.size(); ++i)
    {
        if (calls[i].name == "item.Save")
        {
            savedAt = i + 1;
        }
    }
    if (getenv("TB_SWEEP_VERBOSE") != NULL)
    {
        for (size_t i = 0; i < calls.size(); ++i)
        {
            printf("[ sweep    ] %3u %s #%d%s\n", static_cast<unsigned>(i + 1), calls[i].name.c_str(),
                   calls[i].occurrence, calls[i].nullable ? " (can be empty)" : "");
        }
    }

    int injected = 0;
    std::map<std::string, int> unknown;
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
            ExecuteBench bench;
            GetParam().arrange(bench);
            const Run run = Fire(k, mode, bench);
            ASSERT_TRUE(run.injected) << "the runs are deterministic up to the fault";
            ASSERT_EQ(call.name, run.calls[k - 1].name);
            ++injected;

            const std::string now = bench.GroupText();
            // A property created but never given its value stays empty, which the next
            // firing fills: put_Value's answer is not looked at. A read that succeeds without
            // a collection or a value says there is none, so then the new value may be written.
            EXPECT_TRUE(now == before || now == after || (before == "(none)" && now == "vt=0:") ||
                        (mode == kFaultNull && now == "vt=8:TB2 : Travel"))
                << "the item holds its old value or the new one, not " << now;

            Outcome expected = {cleanResult, Lines()};
            if (k <= committedAt)
            {
                if (MapiStepOutcome(call, mode, &expected))
                {
                    EXPECT_EQ(expected.result, run.result);
                    EXPECT_EQ(expected.traces, run.traces);
                    EXPECT_EQ(before, now) << "a firing that ends before tagging leaves the item";
                }
                else
                {
                    EXPECT_EQ(S_OK, run.result);
                    EXPECT_TRUE(run.traces.empty());
                    EXPECT_EQ(after, now);
                }
                continue;
            }
            EXPECT_EQ(Lines(), run.traces) << "tagging writes no trace";
            switch (TaggingFailure(call, mode))
            {
            case kQuiet:
                EXPECT_EQ(S_OK, run.result);
                break;
            case kRaisesIt:
                EXPECT_EQ(kInjectedFailure, run.result);
                break;
            case kOutOfMemory:
                if (GetParam().dropsSaveError && k > savedAt)
                {
                    EXPECT_TRUE(run.result == S_OK || run.result == E_OUTOFMEMORY) << run.result;
                }
                else
                {
                    EXPECT_EQ(E_OUTOFMEMORY, run.result);
                }
                break;
            case kRaisesOrQuiet:
                EXPECT_TRUE(run.result == S_OK || run.result == kInjectedFailure) << run.result;
                break;
            case kNullPointer:
                EXPECT_EQ(E_POINTER, run.result);
                break;
            case kNotKnown:
                // A call this sweep has no documented outcome for yet: it is swept all the
                // same; tagging either goes on or raises, and the host sees success or failure.
                unknown[call.name]++;
                EXPECT_TRUE(run.result == S_OK || FAILED(run.result)) << run.result;
                break;
            }
        }
    }
    printf("[ sweep    ] Execute, %s: %u calls counted, %d faults injected\n", GetParam().name,
           static_cast<unsigned>(calls.size()), injected);
    for (const auto& u : unknown)
    {
        printf("[ sweep    ]   swept with the generic outcome only: %s\n", u.first.c_str());
    }
    RecordProperty("faults_injected", injected);
}

namespace
{
void StoredVariant(ExecuteBench& b, VARTYPE type, LONG number)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    V_I4(&v) = number;
    b.world.SetStored(v);
}

std::string ScenarioName(const ::testing::TestParamInfo<Scenario>& info)
{
    return info.param.name;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Items, ExecuteSweepTest,
    ::testing::Values(
        // The property is created: Find, Add, put_Value, Save.
        Scenario{"NoGroup", [](ExecuteBench&) {}, false},
        // An old value is replaced: get_Value delivers a string, then Find, put_Value, Save.
        Scenario{"Tb1Group", [](ExecuteBench& b) { b.world.SetStoredText(L"TB1 :old"); }, false},
        // A number is converted to text and left alone.
        Scenario{"NumberGroup", [](ExecuteBench& b) { StoredVariant(b, VT_I4, 7); }, false},
        // A save that fails with the server's error information, which is asked for and dropped.
        Scenario{"SaveRefused",
                 [](ExecuteBench& b) {
                     b.world.item.identity.answersErrorInfo = true;
                     b.world.item.save.result = E_FAIL;
                     b.world.item.save.description = L"The item is read-only.";
                 },
                 true}),
    ScenarioName);

// A failure seldom comes alone: after each failing call, every call that the failure path
// makes (asking for error information, raising, clearing and releasing on the way out) fails
// in turn as well. Whatever the second failure, nothing is lost, leaked or let through, and a
// firing that failed still fails.
TEST_P(ExecuteSweepTest, ASecondFailureOnTheFailurePathLosesLeaksAndLetsThroughNothing)
{
    std::string before;
    std::string after;
    std::vector<FaultCall> calls;
    {
        ExecuteBench warmUp;
        GetParam().arrange(warmUp);
        Fire(0, kFaultFail, warmUp);
    }
    {
        ExecuteBench bench;
        GetParam().arrange(bench);
        before = bench.GroupText();
        calls = Fire(0, kFaultFail, bench).calls;
        after = bench.GroupText();
    }
    int injected = 0;
    for (size_t k = 1; k <= calls.size(); ++k)
    {
        std::vector<FaultCall> failurePath;
        HRESULT first;
        {
            // Once before: the first exception on a thread sets up what later ones reuse.
            ExecuteBench warmUp;
            GetParam().arrange(warmUp);
            Fire(k, kFaultFail, warmUp);
        }
        {
            ExecuteBench bench;
            GetParam().arrange(bench);
            const Run run = Fire(k, kFaultFail, bench);
            failurePath = run.calls;
            first = run.result;
        }
        for (size_t j = k + 1; j <= failurePath.size(); ++j)
        {
            SCOPED_TRACE("fail " + calls[k - 1].name + " (call " + std::to_string(k) + "), then " +
                         failurePath[j - 1].name + " (call " + std::to_string(j) + ")");
            ExecuteBench bench;
            GetParam().arrange(bench);
            const Run run = Fire(k, kFaultFail, bench, j);
            ASSERT_EQ(2, run.injectedCount);
            ++injected;
            if (FAILED(first))
            {
                EXPECT_TRUE(FAILED(run.result)) << "a second failure never turns one into success";
            }
            const std::string now = bench.GroupText();
            EXPECT_TRUE(now == before || now == after || (before == "(none)" && now == "vt=0:"))
                << "the item holds its old value or the new one, not " << now;
        }
    }
    printf("[ sweep    ] Execute, %s, failure paths: %d pairs of faults injected\n",
           GetParam().name, injected);
    RecordProperty("fault_pairs_injected", injected);
}

// The entry point's own calls, each failed once: an object that cannot be made is a null
// answer, never an exception.
TEST(EntryPointSweepTest, EachCountedCallFailsOnceAndTheAnswerIsAnObjectOrNull)
{
    DllHost host;
    ASSERT_EQ("", host.Start());
    std::unique_ptr<ImportHooks> hooks(new ImportHooks(host.module->handle()));
    const ExchEntryPointFn entry = host.module->entryPoint();
    FaultInjector& injector = FaultInjector::Instance();
    injector.Arm(0, kFaultFail);
    IUnknown* object = entry();
    injector.Disarm();
    ASSERT_TRUE(object != NULL);
    EXPECT_EQ(0u, object->Release());
    const std::vector<FaultCall> calls = injector.Calls();
    ASSERT_FALSE(calls.empty()) << "the object is allocated";
    for (size_t k = 1; k <= calls.size(); ++k)
    {
        SCOPED_TRACE("fail " + calls[k - 1].name);
        bool escaped = false;
        object = NULL;
        injector.Arm(k, kFaultFail);
        try
        {
            object = entry();
        }
        catch (...)
        {
            escaped = true;
        }
        injector.Disarm();
        EXPECT_FALSE(escaped);
        if (calls[k - 1].name == "malloc")
        {
            EXPECT_TRUE(object == NULL) << "no memory: no object";
        }
        if (object != NULL)
        {
            EXPECT_EQ(0u, object->Release());
        }
    }
    printf("[ sweep    ] ExchEntryPoint: %u faults injected\n", static_cast<unsigned>(calls.size()));
    hooks.reset();
}
