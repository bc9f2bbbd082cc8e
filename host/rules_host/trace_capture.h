// Collects the lines that code in this process writes with OutputDebugStringA. The call raises
// DBG_PRINTEXCEPTION_C with the text; a vectored handler sees it before anyone else and lets it
// go on to the debugger, if there is one.
#pragma once

#include <string>
#include <vector>

class TraceCapture
{
public:
    TraceCapture();
    ~TraceCapture();

    // Lines written since construction or the last Take, in order; clears them.
    std::vector<std::string> Take();

private:
    TraceCapture(const TraceCapture&);
    TraceCapture& operator=(const TraceCapture&);

    void* m_handler;
};
