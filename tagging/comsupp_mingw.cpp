// The support functions that comdef.h/comutil.h declare and that the platform's support
// library would define; the mingw-w64 toolchain ships the headers without that library. Only
// this build compiles the file (see tagging/CMakeLists.txt).
#include <comdef.h>

#include <string.h>

#include <new>

#include "tagging/com_support.h"

void WINAPI _com_issue_errorex(HRESULT hr, IUnknown* failingObject, REFIID calledInterface)
{
    RaiseCallFailure(hr, failingObject, calledInterface);
}

namespace _com_util
{
BSTR WINAPI ConvertStringToBSTR(const char* text)
{
    return AnsiToBstr(text);
}

// The caller frees the text with delete[].
char* WINAPI ConvertBSTRToString(BSTR text)
{
    if (text == NULL)
    {
        return NULL;
    }
    const std::string converted = BstrToAnsi(text);
    char* copy = new (std::nothrow) char[converted.size() + 1];
    if (copy == NULL)
    {
        RaiseComError(E_OUTOFMEMORY);
    }
    memcpy(copy, converted.c_str(), converted.size() + 1);
    return copy;
}
} // namespace _com_util
