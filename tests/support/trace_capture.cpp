#include "support/trace_capture.h"

#include <windows.h>

namespace
{
CRITICAL_SECTION* Lock()
{
    static CRITICAL_SECTION lock;
    static bool ready = (InitializeCriticalSection(&lock), true);
    (void)ready;
    return &lock;
}

std::vector<std::string>& Captured()
{
    static std::vector<std::string> lines;
    return lines;
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2)
    {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        const size_t size = static_cast<size_t>(record->ExceptionInformation[0]);
        if (text != NULL && size > 0)
        {
            EnterCriticalSection(Lock());
            Captured().push_back(std::string(text, size - 1));
            LeaveCriticalSection(Lock());
        }
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
} // namespace

TraceCapture::TraceCapture() : m_handler(NULL)
{
    Clear();
    m_handler = AddVectoredExceptionHandler(1, OnException);
}

TraceCapture::~TraceCapture()
{
    if (m_handler != NULL)
    {
        RemoveVectoredExceptionHandler(m_handler);
    }
}

std::vector<std::string> TraceCapture::Lines() const
{
    EnterCriticalSection(Lock());
    std::vector<std::string> lines = Captured();
    LeaveCriticalSection(Lock());
    return lines;
}

void TraceCapture::Clear()
{
    EnterCriticalSection(Lock());
    Captured().clear();
    LeaveCriticalSection(Lock());
}
