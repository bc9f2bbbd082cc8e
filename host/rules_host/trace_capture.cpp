#include "host/rules_host/trace_capture.h"

#include <windows.h>

namespace
{

CRITICAL_SECTION g_lock;
std::vector<std::string>* g_lines = NULL;

LONG CALLBACK OnException(EXCEPTION_POINTERS* pointers)
{
    const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
    if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2 &&
        record->ExceptionInformation[1] != 0)
    {
        const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
        EnterCriticalSection(&g_lock);
        if (g_lines != NULL)
        {
            g_lines->push_back(text);
        }
        LeaveCriticalSection(&g_lock);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

TraceCapture::TraceCapture()
{
    InitializeCriticalSection(&g_lock);
    g_lines = new std::vector<std::string>();
    m_handler = AddVectoredExceptionHandler(1, OnException);
}

TraceCapture::~TraceCapture()
{
    if (m_handler != NULL)
    {
        RemoveVectoredExceptionHandler(m_handler);
    }
    EnterCriticalSection(&g_lock);
    delete g_lines;
    g_lines = NULL;
    LeaveCriticalSection(&g_lock);
    DeleteCriticalSection(&g_lock);
}

std::vector<std::string> TraceCapture::Take()
{
    std::vector<std::string> taken;
    EnterCriticalSection(&g_lock);
    if (g_lines != NULL)
    {
        taken.swap(*g_lines);
    }
    LeaveCriticalSection(&g_lock);
    return taken;
}
