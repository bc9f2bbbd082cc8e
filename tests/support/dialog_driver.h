// Drives the modal dialogs that a test starts on its own thread, the way a user's clicks and
// keys would: a thread-local CBT hook sees each new dialog become active, a short timer on it
// waits until it is visible, and then the test's next action runs inside the dialog's modal
// loop. A dialog's action may open a nested dialog (BM_CLICK on "New >>"); that one gets the
// next action, and the outer action continues once the nested dialog has ended.
#pragma once

#include <functional>
#include <string>
#include <vector>
#include <windows.h>

class DialogDriver
{
public:
    typedef std::function<void(HWND dialog)> Action;

    DialogDriver();
    ~DialogDriver();

    // The action for the next dialog that opens. A dialog that opens with no action left is
    // cancelled and counted as unexpected.
    DialogDriver& Then(Action action);

    int dialogsSeen() const { return m_seen; }
    int unexpectedDialogs() const { return m_unexpected; }
    bool allActionsRun() const { return m_next == m_actions.size(); }

private:
    DialogDriver(const DialogDriver&);
    DialogDriver& operator=(const DialogDriver&);

    static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

    HHOOK m_hook;
    std::vector<Action> m_actions;
    size_t m_next;
    std::vector<std::pair<HWND, size_t> > m_pending; // dialog, index of its action
    std::vector<HWND> m_known;
    int m_seen;
    int m_unexpected;
};

// What a user does. Each returns after the dialog has handled the input.
void SelectEntry(HWND dialog, int listId, int index);    // click an entry
void DoubleClickList(HWND dialog, int listId);           // double-click notification
void Click(HWND dialog, int buttonId);                   // BM_CLICK
void TypeText(HWND dialog, int editId, const std::string& text);
void Backspace(HWND dialog, int editId);
void Paste(HWND dialog, int editId, const std::string& text); // through the clipboard
void PressKey(HWND dialog, UINT virtualKey);             // to the focused control
void CloseBox(HWND dialog);                              // the caption's close button

// What a user sees.
std::vector<std::string> ListEntries(HWND dialog, int listId);
int SelectedIndex(HWND dialog, int listId);
std::string ControlText(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
int FocusedControlId(HWND dialog); // 0 when the focus is outside the dialog
std::string WindowCaption(HWND window);

// Whether the control's text, drawn in the control's font as the control draws it (wrapped for
// static text, one line otherwise), fits inside the control. `face` receives the face the
// system actually drew with.
bool TextFitsControl(HWND control, std::string* face);

// Saves the dialog's on-screen rectangle, frame included, as a PNG (ImageMagick's import on the
// X display the test runs under). False when that could not be done.
bool SaveDialogScreenshot(HWND dialog, const std::string& unixPath);
