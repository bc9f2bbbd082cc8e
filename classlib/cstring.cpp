#include "classlib/cstring.h"

#include <stdarg.h>
#include <stdio.h>
#include <vector>

#include "classlib/winapp.h"

void CString::Format(LPCSTR format, ...)
{
    va_list args;
    va_start(args, format);
    va_list measure;
    va_copy(measure, args);
    const int length = vsnprintf(NULL, 0, format, measure);
    va_end(measure);
    if (length <= 0)
    {
        va_end(args);
        m_text.clear();
        return;
    }
    std::vector<char> text(static_cast<size_t>(length) + 1);
    vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    m_text.assign(&text[0], static_cast<size_t>(length));
}

BOOL CString::LoadString(UINT id)
{
    // LoadStringA reports how much it copied, not how long the string is: grow until the
    // string ends before the buffer does.
    std::vector<char> text(64);
    for (;;)
    {
        const int copied = ::LoadStringA(AfxGetResourceHandle(), id, &text[0],
                                       static_cast<int>(text.size()));
        if (copied <= 0)
        {
            m_text.clear();
            return FALSE;
        }
        if (static_cast<size_t>(copied) < text.size() - 1)
        {
            m_text.assign(&text[0], static_cast<size_t>(copied));
            return TRUE;
        }
        text.resize(text.size() * 2);
    }
}
