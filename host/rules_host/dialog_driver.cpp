#include "host/rules_host/dialog_driver.h"

#include <stdio.h>
#include <string.h>
#include <windows.h>

namespace
{

const int kList = 1000;
const int kNewButton = 1002;
const int kNameEdit = 1004;
const UINT_PTR kDriveTimer = 0x7B01;

struct DriverState
{
    std::vector<std::string> steps;
    size_t next;
    std::string pendingNewName;
    std::string pendingNewShot;
    std::vector<HWND> seen;
    std::vector<std::string> problems;
    std::vector<std::string> shots;
    HHOOK hook;
};

DriverState* g_state = NULL;

bool Seen(HWND dialog)
{
    for (size_t i = 0; i < g_state->seen.size(); ++i)
    {
        if (g_state->seen[i] == dialog)
        {
            return true;
        }
    }
    return false;
}

void Click(HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (button == NULL || !IsWindowEnabled(button))
    {
        char text[80];
        sprintf(text, "button %d is missing or disabled", id);
        g_state->problems.push_back(text);
        return;
    }
    SendMessageA(button, BM_CLICK, 0, 0);
}

void TakePicture(HWND dialog, const std::string& path)
{
    RedrawWindow(dialog, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    if (SaveWindowPicture(dialog, path))
    {
        g_state->shots.push_back(path);
    }
    else
    {
        g_state->problems.push_back("could not save a picture to " + path);
    }
}

// The new-collection dialog: type the pending name as a user would, then confirm.
void DriveNewDialog(HWND dialog)
{
    HWND edit = GetDlgItem(dialog, kNameEdit);
    if (edit == NULL)
    {
        g_state->problems.push_back("new-collection dialog has no name box");
        return;
    }
    SetFocus(edit);
    SendMessageA(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(g_state->pendingNewName.c_str()));
    g_state->pendingNewName.clear();
    if (!g_state->pendingNewShot.empty())
    {
        TakePicture(dialog, g_state->pendingNewShot);
        g_state->pendingNewShot.clear();
    }
    Click(dialog, IDOK);
}

void DriveSelectDialog(HWND dialog)
{
    while (g_state->next < g_state->steps.size())
    {
        const std::string step = g_state->steps[g_state->next++];
        size_t colon = step.find(':');
        const std::string verb = step.substr(0, colon);
        const std::string argument = colon == std::string::npos ? std::string() : step.substr(colon + 1);
        if (verb == "new")
        {
            // The nested dialog runs inside this click; its activation drives it.
            g_state->pendingNewName = argument;
            Click(dialog, kNewButton);
        }
        else if (verb == "pick")
        {
            HWND list = GetDlgItem(dialog, kList);
            LRESULT index = SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                         reinterpret_cast<LPARAM>(argument.c_str()));
            if (index == LB_ERR)
            {
                g_state->problems.push_back("no listed collection '" + argument + "'");
                continue;
            }
            SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
            // Selecting by message sends no notification; a user's click would.
            SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
        }
        else if (verb == "shot")
        {
            TakePicture(dialog, argument);
        }
        else if (verb == "newshot")
        {
            g_state->pendingNewShot = argument;
        }
        else if (verb == "ok")
        {
            Click(dialog, IDOK);
            return;
        }
        else if (verb == "cancel")
        {
            Click(dialog, IDCANCEL);
            return;
        }
        else if (!verb.empty())
        {
            g_state->problems.push_back("unknown step '" + step + "'");
        }
    }
}

// Runs inside the dialog's modal loop, once the dialog is on screen.
VOID CALLBACK OnDriveTimer(HWND dialog, UINT, UINT_PTR id, DWORD)
{
    if (!IsWindowVisible(dialog))
    {
        return; // not shown yet: the timer fires again
    }
    KillTimer(dialog, id);
    if (g_state == NULL)
    {
        return;
    }
    if (GetDlgItem(dialog, kNameEdit) != NULL)
    {
        DriveNewDialog(dialog);
    }
    else if (GetDlgItem(dialog, kNewButton) != NULL)
    {
        DriveSelectDialog(dialog);
    }
}

LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && g_state != NULL)
    {
        HWND window = reinterpret_cast<HWND>(wParam);
        char className[16] = {0};
        GetClassNameA(window, className, sizeof(className));
        if (strcmp(className, "#32770") == 0 && !Seen(window))
        {
            g_state->seen.push_back(window);
            SetTimer(window, kDriveTimer, 30, OnDriveTimer);
        }
    }
    return CallNextHookEx(NULL, code, wParam, lParam);
}

} // namespace

DialogDriver::DialogDriver(const std::string& script)
{
    g_state = new DriverState();
    g_state->next = 0;
    size_t start = 0;
    while (start <= script.size())
    {
        size_t end = script.find(';', start);
        if (end == std::string::npos)
        {
            end = script.size();
        }
        if (end > start)
        {
            g_state->steps.push_back(script.substr(start, end - start));
        }
        start = end + 1;
    }
    g_state->hook = SetWindowsHookExA(WH_CBT, OnCbt, NULL, GetCurrentThreadId());
}

DialogDriver::~DialogDriver()
{
    if (g_state->hook != NULL)
    {
        UnhookWindowsHookEx(g_state->hook);
    }
    delete g_state;
    g_state = NULL;
}

const std::vector<std::string>& DialogDriver::problems() const
{
    return g_state->problems;
}

const std::vector<std::string>& DialogDriver::shots() const
{
    return g_state->shots;
}

bool SaveWindowPicture(void* window, const std::string& path)
{
    RECT rect;
    if (!GetWindowRect(static_cast<HWND>(window), &rect))
    {
        return false;
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
    {
        return false;
    }
    BITMAPINFO info;
    memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    info.bmiHeader.biSizeImage = stride * static_cast<DWORD>(height);

    // The window's own surface, not the screen: under Wine the screen lags what was painted.
    HWND handle = static_cast<HWND>(window);
    HDC screen = GetWindowDC(handle);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = NULL;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0);
    bool ok = false;
    if (memory != NULL && bitmap != NULL)
    {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
        SelectObject(memory, old);
        GdiFlush();
    }
    if (ok)
    {
        BITMAPFILEHEADER header;
        memset(&header, 0, sizeof(header));
        header.bfType = 0x4D42; // "BM"
        header.bfOffBits = sizeof(header) + sizeof(info.bmiHeader);
        header.bfSize = header.bfOffBits + info.bmiHeader.biSizeImage;
        FILE* file = fopen(path.c_str(), "wb");
        ok = file != NULL;
        if (ok)
        {
            ok = fwrite(&header, sizeof(header), 1, file) == 1 &&
                 fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, file) == 1 &&
                 fwrite(bits, info.bmiHeader.biSizeImage, 1, file) == 1;
            ok = fclose(file) == 0 && ok;
        }
    }
    if (bitmap != NULL)
    {
        DeleteObject(bitmap);
    }
    if (memory != NULL)
    {
        DeleteDC(memory);
    }
    ReleaseDC(handle, screen);
    return ok;
}
