#include "extension/trace.h"

#include <windows.h>

void DebugTrace(const char* text)
{
    OutputDebugStringA(text);
}
