// One injected fault per run, found by counting. Every fallible call that the module makes
// passes a fault point: the counting fakes call FaultPoint at the top of each scripted method,
// and the import hooks (import_hooks.h) do the same for the platform functions the module
// imports. A run armed with fault index k records every call it sees and makes the k-th one
// fail (or, in null mode, succeed without a result); a run armed with 0 only counts. So a call
// added to the module later is counted and swept without changing any sweep.
//
// Only the thread that armed the injector is counted; while disarmed every point lets the call
// through untouched, so the fakes behave as before in every other test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What an injected failure returns: a code no real component uses, so a test can tell it apart.
const HRESULT kInjectedFailure = static_cast<HRESULT>(0x80047E57);

enum FaultMode
{
    kFaultFail, // the call fails (an allocation gives nothing)
    kFaultNull  // the call succeeds without a result (only where a null can come back)
};

enum FaultOutcome
{
    kFaultGo,   // make the call as usual
    kFaultFails,
    kFaultNothing
};

struct FaultCall
{
    std::string name;     // e.g. "session.OpenMsgStore", "HrQueryAllRows>table.QueryRows"
    int occurrence;       // 1 for the first call of that name in the run, 2 for the next...
    bool nullable;        // a success without a result can come back
};

class FaultInjector
{
public:
    static FaultInjector& Instance();

    // Starts a run on the calling thread: index 0 only counts; index k injects at the k-th call.
    // A second index makes a later call fail too, for the paths that run after a failure.
    void Arm(size_t faultIndex, FaultMode mode, size_t secondIndex = 0);
    void Disarm();

    // Called by each fault point; the call is recorded (with the enclosing scope's name first).
    FaultOutcome At(const char* name, bool nullable);

    // Nesting: calls made while a hooked function runs are named "<function>>call".
    void Enter(const char* scope);
    void Leave();

    const std::vector<FaultCall>& Calls() const { return m_calls; }
    bool Injected() const { return m_injected; }
    int InjectedCount() const { return m_injectedCount; }
    // The call the fault was injected into (valid when Injected()).
    const FaultCall& InjectedCall() const { return m_calls[m_faultIndex - 1]; }

private:
    FaultInjector();

    DWORD m_thread;
    size_t m_faultIndex;
    size_t m_secondIndex;
    int m_injectedCount;
    FaultMode m_mode;
    bool m_injected;
    std::vector<std::string> m_scopes;
    std::vector<FaultCall> m_calls;
};

// The fault point of a fake's method: true when a fault is injected, *answer then holding what
// the method returns (kInjectedFailure, or nullResult in null mode) before it hands anything out.
bool FaultPoint(const std::string& name, bool nullable, HRESULT* answer,
                HRESULT nullResult = S_OK);

// Names the calls made inside it as nested in `scope`.
class FaultScope
{
public:
    explicit FaultScope(const char* scope) { FaultInjector::Instance().Enter(scope); }
    ~FaultScope() { FaultInjector::Instance().Leave(); }

private:
    FaultScope(const FaultScope&);
    FaultScope& operator=(const FaultScope&);
};
