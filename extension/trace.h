// The module's one sink for its fixed debug trace texts. Each caller passes its text exactly,
// with or without a line end.
#pragma once

#include <windows.h>

inline void TraceText(const char* text)
{
    OutputDebugStringA(text);
}
