// Collects the texts that the code under test writes with OutputDebugStringA, seen from the
// outside: the system raises DBG_PRINTEXCEPTION_C for each one, and a vectored handler records
// the text and lets the system carry on as usual.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

class DebugTraceCapture
{
public:
    DebugTraceCapture()
    {
        Texts().clear();
        m_handler = AddVectoredExceptionHandler(1, &DebugTraceCapture::Handler);
    }
    ~DebugTraceCapture()
    {
        if (m_handler != NULL)
        {
            RemoveVectoredExceptionHandler(m_handler);
        }
    }

    // Each text exactly as passed, line ends included.
    const std::vector<std::string>& texts() const { return Texts(); }

private:
    DebugTraceCapture(const DebugTraceCapture&);
    DebugTraceCapture& operator=(const DebugTraceCapture&);

    static std::vector<std::string>& Texts()
    {
        static std::vector<std::string> texts;
        return texts;
    }

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* info)
    {
        const EXCEPTION_RECORD* record = info->ExceptionRecord;
        if (record->ExceptionCode == DBG_PRINTEXCEPTION_C && record->NumberParameters >= 2)
        {
            const char* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
            const size_t size = static_cast<size_t>(record->ExceptionInformation[0]);
            if (text != NULL && size > 0)
            {
                Texts().push_back(std::string(text, size - 1));
            }
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }

    PVOID m_handler;
};
