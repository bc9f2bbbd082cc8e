// A thin object over a window handle. Windows the module did not create (the host's window,
// controls of a running dialog) are reached through FromHandle's temporary objects.
#pragma once

#include <windows.h>

class CWnd
{
public:
    CWnd() : m_hWnd(NULL) {}
    virtual ~CWnd() {}

    // The library's object for `window`, or NULL for a NULL handle. The object belongs to the
    // library: callers never delete it, and it lives at least as long as its window.
    static CWnd* FromHandle(HWND window);

    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    BOOL EnableWindow(BOOL enable = TRUE) const { return ::EnableWindow(m_hWnd, enable); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    int GetWindowText(LPSTR buffer, int maxCount) const
    {
        return ::GetWindowTextA(m_hWnd, buffer, maxCount);
    }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }

    HWND m_hWnd;

private:
    CWnd(const CWnd&);
    CWnd& operator=(const CWnd&);
};

// Frees the temporary objects whose windows no longer exist.
void AfxDropDeadTempWindows();

// Frees every temporary object; run when the module is detached.
void AfxDeleteTempWindows();
