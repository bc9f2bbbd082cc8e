// Modal dialogs built on a numbered dialog resource of this module. One static dialog
// procedure finds the object through DWLP_USER and forwards to its members; WM_COMMAND goes
// through the class's message map.
#pragma once

#include <exception>

#include "classlib/wnd.h"

// Carries the direction of a data exchange. Our dialogs read and fill their controls
// themselves, so nothing else travels with it.
class CDataExchange
{
public:
    explicit CDataExchange(BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate) {}
    BOOL m_bSaveAndValidate;
};

class CDialog;
typedef void (CDialog::*AFX_PMSG)();

// One message-map entry: a WM_COMMAND notification code from one control, and its handler.
struct AFX_MSGMAP_ENTRY
{
    UINT nCode;
    UINT nID;
    AFX_PMSG pfn; // NULL ends the table
};

struct AFX_MSGMAP
{
    const AFX_MSGMAP* pBaseMap; // consulted when no entry of this map matches
    const AFX_MSGMAP_ENTRY* lpEntries;
};

class CDialog : public CWnd
{
public:
    // `parent` may be NULL: the dialog is then owned by the thread's active window.
    CDialog(UINT templateId, CWnd* parent);
    virtual ~CDialog();

    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* exchange);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();

    // Runs the dialog: IDOK or IDCANCEL as it ended, -1 when it could not be created. An
    // exception raised by a handler ends the dialog and is raised again here, after the modal
    // loop, so it never unwinds through the system's window procedures.
    INT_PTR DoModal();

    void EndDialog(int result);
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    // Moves the focus to a control the way the dialog manager does for Tab, so the default
    // button follows.
    void GotoDlgCtrl(CWnd* control);

protected:
    static const AFX_MSGMAP messageMap;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL OnCommand(UINT code, UINT id);

    UINT m_templateId;
    CWnd* m_pParentWnd;
    std::exception_ptr m_failure;
};
