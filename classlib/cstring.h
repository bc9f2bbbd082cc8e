// 8-bit text owned by value, as the dialogs and Configure use it. Allocation failure raises
// std::bad_alloc, which the module's boundaries turn into E_OUTOFMEMORY.
#pragma once

#include <string>
#include <windows.h>

class CString
{
public:
    CString() {}
    CString(LPCSTR text) : m_text(text != NULL ? text : "") {}

    CString& operator=(LPCSTR text)
    {
        m_text.assign(text != NULL ? text : "");
        return *this;
    }
    CString& operator+=(LPCSTR text)
    {
        if (text != NULL)
        {
            m_text.append(text);
        }
        return *this;
    }
    CString& operator+=(const CString& other)
    {
        m_text.append(other.m_text);
        return *this;
    }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    operator LPCSTR() const { return m_text.c_str(); }

    // Formats with the printf conventions of the C runtime.
    void Format(LPCSTR format, ...);

    // Replaces the text with string resource `id` of the module's resources. FALSE, with the
    // text emptied, when there is no such string.
    BOOL LoadString(UINT id);

private:
    std::string m_text;
};
