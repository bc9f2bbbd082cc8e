#include "support/dialog_driver.h"

#include <stdio.h>
#include <string.h>

namespace
{
DialogDriver* g_driver = NULL;
const UINT_PTR kDriverTimer = 0x7B01;

// Runs the dialog manager over everything queued, as the modal loop would, so posted input
// has been handled when a helper returns.
void Pump(HWND dialog)
{
    MSG message;
    while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
    {
        if (!IsWindow(dialog) || !IsDialogMessageA(dialog, &message))
        {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

void PostKey(HWND target, UINT virtualKey)
{
    const UINT scan = MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageA(target, WM_KEYDOWN, virtualKey, 1 | (scan << 16));
    PostMessageA(target, WM_KEYUP, virtualKey, 1 | (scan << 16) | 0xC0000000u);
}

void FocusControl(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    if (GetFocus() != control)
    {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    }
}
} // namespace

DialogDriver::DialogDriver() : m_hook(NULL), m_next(0), m_seen(0), m_unexpected(0)
{
    // The hook and the timer run inside the code under test: keep them from allocating, so a
    // test that counts or fails allocations sees only the product's.
    m_actions.reserve(16);
    m_pending.reserve(16);
    m_known.reserve(16);
    g_driver = this;
    m_hook = SetWindowsHookExA(WH_CBT, &DialogDriver::CbtHook, NULL, GetCurrentThreadId());
}

DialogDriver::~DialogDriver()
{
    if (m_hook != NULL)
    {
        UnhookWindowsHookEx(m_hook);
    }
    g_driver = NULL;
}

DialogDriver& DialogDriver::Then(Action action)
{
    m_actions.push_back(action);
    return *this;
}

LRESULT CALLBACK DialogDriver::CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    DialogDriver* driver = g_driver;
    if (code == HCBT_ACTIVATE && driver != NULL)
    {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[32] = {0};
        GetClassNameA(window, className, sizeof(className));
        bool known = false;
        for (size_t i = 0; i < driver->m_known.size(); ++i)
        {
            known = known || driver->m_known[i] == window;
        }
        // Wine also reports other processes' windows taking the foreground: only this
        // thread's dialogs are ours to drive.
        const bool ours = GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId();
        if (ours && !known && strcmp(className, "#32770") == 0)
        {
            driver->m_known.push_back(window);
            ++driver->m_seen;
            driver->m_pending.push_back(std::make_pair(window, driver->m_next));
            if (driver->m_next < driver->m_actions.size())
            {
                ++driver->m_next;
            }
            SetTimer(window, kDriverTimer, 10, &DialogDriver::OnTimer);
        }
    }
    return CallNextHookEx(driver != NULL ? driver->m_hook : NULL, code, wParam, lParam);
}

void CALLBACK DialogDriver::OnTimer(HWND window, UINT /*message*/, UINT_PTR id, DWORD /*time*/)
{
    DialogDriver* driver = g_driver;
    if (driver == NULL || !IsWindowVisible(window))
    {
        return;
    }
    KillTimer(window, id);
    size_t index = driver->m_actions.size();
    for (size_t i = 0; i < driver->m_pending.size(); ++i)
    {
        if (driver->m_pending[i].first == window)
        {
            index = driver->m_pending[i].second;
        }
    }
    // Let the dialog paint itself first, as it would before a user could act on it.
    RedrawWindow(window, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    if (index < driver->m_actions.size() && index < driver->m_next)
    {
        driver->m_actions[index](window);
    }
    else
    {
        ++driver->m_unexpected;
        SendMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
}

void SelectEntry(HWND dialog, int listId, int index)
{
    HWND list = GetDlgItem(dialog, listId);
    FocusControl(dialog, listId);
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    // LB_SETCURSEL is silent; a click also notifies the dialog.
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    Pump(dialog);
}

void DoubleClickList(HWND dialog, int listId)
{
    HWND list = GetDlgItem(dialog, listId);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(listId, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(list));
    Pump(dialog);
}

void Click(HWND dialog, int buttonId)
{
    SendMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
    Pump(dialog);
}

void TypeText(HWND dialog, int editId, const std::string& text)
{
    FocusControl(dialog, editId);
    HWND edit = GetDlgItem(dialog, editId);
    for (size_t i = 0; i < text.size(); ++i)
    {
        PostMessageA(edit, WM_CHAR, static_cast<unsigned char>(text[i]), 1);
    }
    Pump(dialog);
}

void Backspace(HWND dialog, int editId)
{
    FocusControl(dialog, editId);
    HWND edit = GetDlgItem(dialog, editId);
    SendMessageA(edit, EM_SETSEL, 0x7FFF, 0x7FFF);
    PostKey(edit, VK_BACK);
    PostMessageA(edit, WM_CHAR, VK_BACK, 1);
    Pump(dialog);
}

void Paste(HWND dialog, int editId, const std::string& text)
{
    FocusControl(dialog, editId);
    HWND edit = GetDlgItem(dialog, editId);
    if (OpenClipboard(dialog))
    {
        EmptyClipboard();
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
        if (memory != NULL)
        {
            memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
            GlobalUnlock(memory);
            if (SetClipboardData(CF_TEXT, memory) == NULL)
            {
                GlobalFree(memory);
            }
        }
        CloseClipboard();
    }
    SendMessageA(edit, WM_PASTE, 0, 0);
    Pump(dialog);
}

void PressKey(HWND dialog, UINT virtualKey)
{
    HWND focus = GetFocus();
    PostKey(focus != NULL ? focus : dialog, virtualKey);
    Pump(dialog);
}

void CloseBox(HWND dialog)
{
    SendMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    Pump(dialog);
}

std::vector<std::string> ListEntries(HWND dialog, int listId)
{
    std::vector<std::string> entries;
    HWND list = GetDlgItem(dialog, listId);
    const LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i)
    {
        const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
        std::string text(static_cast<size_t>(length) + 1, '\0');
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        text.resize(static_cast<size_t>(length));
        entries.push_back(text);
    }
    return entries;
}

int SelectedIndex(HWND dialog, int listId)
{
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, listId), LB_GETCURSEL, 0, 0));
}

std::string ControlText(HWND dialog, int id)
{
    return WindowCaption(GetDlgItem(dialog, id));
}

bool IsEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

int FocusedControlId(HWND dialog)
{
    HWND focus = GetFocus();
    if (focus == NULL || GetParent(focus) != dialog)
    {
        return 0;
    }
    return GetDlgCtrlID(focus);
}

std::string WindowCaption(HWND window)
{
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

bool TextFitsControl(HWND control, std::string* face)
{
    const std::string text = WindowCaption(control);
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font != NULL ? font : GetStockObject(SYSTEM_FONT));
    char faceName[LF_FACESIZE] = {0};
    GetTextFaceA(dc, LF_FACESIZE, faceName);
    *face = faceName;
    char className[16] = {0};
    GetClassNameA(control, className, sizeof(className));
    const bool wraps = lstrcmpiA(className, "Static") == 0;
    RECT needed = {0, 0, client.right, 0};
    DrawTextA(dc, text.c_str(), -1, &needed,
              DT_CALCRECT | (wraps ? DT_WORDBREAK | DT_CENTER : DT_SINGLELINE));
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return needed.right <= client.right && needed.bottom <= client.bottom;
}

bool SaveDialogScreenshot(HWND dialog, const std::string& unixPath)
{
    RECT rect;
    if (!GetWindowRect(dialog, &rect))
    {
        return false;
    }
    // Wine runs a Unix program when asked to start one, but hands back no process handle: the
    // shell renames the finished file so its appearance says the shot is complete.
    const std::string partial = unixPath + ".partial.png";
    char command[1024];
    snprintf(command, sizeof(command),
             "Z:\\bin\\sh -c \"import -window root -crop %ldx%ld+%ld+%ld +repage "
             "'%s' && mv '%s' '%s'\"",
             rect.right - rect.left, rect.bottom - rect.top, rect.left,
             rect.top, partial.c_str(), partial.c_str(), unixPath.c_str());
    // The dialog must be on the X display before the shot is taken: paint and flush it by
    // running its messages, then wait for the file while still running them.
    RedrawWindow(dialog, NULL, NULL, RDW_UPDATENOW | RDW_ALLCHILDREN);
    for (int i = 0; i < 10; ++i)
    {
        Pump(dialog);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    char dosPath[MAX_PATH];
    snprintf(dosPath, sizeof(dosPath), "Z:%s", unixPath.c_str());
    for (char* p = dosPath; *p != '\0'; ++p)
    {
        if (*p == '/')
        {
            *p = '\\';
        }
    }
    DeleteFileA(dosPath);
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof(process));
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
    {
        return false;
    }
    if (process.hProcess != NULL)
    {
        CloseHandle(process.hProcess);
    }
    if (process.hThread != NULL)
    {
        CloseHandle(process.hThread);
    }
    for (int i = 0; i < 500; ++i) // up to ~10 s
    {
        if (GetFileAttributesA(dosPath) != INVALID_FILE_ATTRIBUTES)
        {
            return true;
        }
        Pump(dialog);
        MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
    }
    return false;
}
