#include "support/fault_injection.h"

FaultInjector& FaultInjector::Instance()
{
    static FaultInjector injector;
    return injector;
}

FaultInjector::FaultInjector()
    : m_thread(0), m_faultIndex(0), m_secondIndex(0), m_injectedCount(0), m_mode(kFaultFail),
      m_injected(false)
{
}

void FaultInjector::Arm(size_t faultIndex, FaultMode mode, size_t secondIndex)
{
    m_calls.clear();
    m_scopes.clear();
    m_faultIndex = faultIndex;
    m_secondIndex = secondIndex;
    m_injectedCount = 0;
    m_mode = mode;
    m_injected = false;
    m_thread = GetCurrentThreadId();
}

void FaultInjector::Disarm()
{
    m_thread = 0;
    m_scopes.clear();
}

FaultOutcome FaultInjector::At(const char* name, bool nullable)
{
    if (m_thread == 0 || m_thread != GetCurrentThreadId())
    {
        return kFaultGo;
    }
    FaultCall call;
    call.name = m_scopes.empty() ? std::string(name) : m_scopes.back() + ">" + name;
    call.occurrence = 1;
    for (size_t i = 0; i < m_calls.size(); ++i)
    {
        if (m_calls[i].name == call.name)
        {
            ++call.occurrence;
        }
    }
    call.nullable = nullable;
    m_calls.push_back(call);
    if (m_secondIndex != 0 && m_calls.size() == m_secondIndex)
    {
        ++m_injectedCount;
        return kFaultFails;
    }
    if (m_calls.size() != m_faultIndex)
    {
        return kFaultGo;
    }
    if (m_mode == kFaultNull && !nullable)
    {
        return kFaultGo;
    }
    m_injected = true;
    ++m_injectedCount;
    return m_mode == kFaultFail ? kFaultFails : kFaultNothing;
}

void FaultInjector::Enter(const char* scope)
{
    if (m_thread != 0 && m_thread == GetCurrentThreadId())
    {
        m_scopes.push_back(m_scopes.empty() ? std::string(scope) : m_scopes.back() + ">" + scope);
    }
}

void FaultInjector::Leave()
{
    if (m_thread != 0 && m_thread == GetCurrentThreadId() && !m_scopes.empty())
    {
        m_scopes.pop_back();
    }
}

bool FaultPoint(const std::string& name, bool nullable, HRESULT* answer, HRESULT nullResult)
{
    switch (FaultInjector::Instance().At(name.c_str(), nullable))
    {
    case kFaultFails:
        *answer = kInjectedFailure;
        return true;
    case kFaultNothing:
        *answer = nullResult;
        return true;
    default:
        return false;
    }
}
