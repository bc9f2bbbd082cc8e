#pragma once

// Writes one of the module's fixed trace texts to the debugger output. Every trace line of the
// module goes through here.
void DebugTrace(const char* text);
