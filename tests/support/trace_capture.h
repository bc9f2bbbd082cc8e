// Captures what the process writes with OutputDebugStringA, as a debugger would see it: Wine
// (like Windows) raises DBG_PRINTEXCEPTION_C for each line, and a vectored handler sees it
// before the system's own handling goes on.
#pragma once

#include <string>
#include <vector>

class TraceCapture
{
public:
    TraceCapture();
    ~TraceCapture();

    // The lines written since the capture started (or was cleared), each with its own line end.
    std::vector<std::string> Lines() const;
    void Clear();

private:
    TraceCapture(const TraceCapture&);
    TraceCapture& operator=(const TraceCapture&);

    void* m_handler;
};
