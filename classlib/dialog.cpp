#include "classlib/dialog.h"

#include "classlib/winapp.h"

namespace
{
const AFX_MSGMAP_ENTRY kDialogEntries[] = {
    {BN_CLICKED, IDOK, &CDialog::OnOK},
    {BN_CLICKED, IDCANCEL, &CDialog::OnCancel},
    {0, 0, NULL},
};
} // namespace

const AFX_MSGMAP CDialog::messageMap = {NULL, kDialogEntries};

CDialog::CDialog(UINT templateId, CWnd* parent)
    : m_templateId(templateId), m_pParentWnd(parent)
{
}

CDialog::~CDialog()
{
}

const AFX_MSGMAP* CDialog::GetMessageMap() const
{
    return &messageMap;
}

void CDialog::DoDataExchange(CDataExchange* /*exchange*/)
{
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    if (UpdateData(TRUE))
    {
        EndDialog(IDOK);
    }
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange exchange(saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    ::EndDialog(m_hWnd, result);
}

void CDialog::GotoDlgCtrl(CWnd* control)
{
    if (control != NULL)
    {
        SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control->m_hWnd), TRUE);
    }
}

INT_PTR CDialog::DoModal()
{
    HWND owner = (m_pParentWnd != NULL) ? m_pParentWnd->m_hWnd : GetActiveWindow();
    m_failure = std::exception_ptr();
    const INT_PTR result = DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_templateId),
                                           owner, &CDialog::DialogProc,
                                           reinterpret_cast<LPARAM>(this));
    m_hWnd = NULL;
    // The dialog's controls are gone now; so are the temporary objects that stood for them.
    AfxDropDeadTempWindows();
    if (m_failure)
    {
        std::exception_ptr failure = m_failure;
        m_failure = std::exception_ptr();
        std::rethrow_exception(failure);
    }
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CDialog* dialog = NULL;
    if (message == WM_INITDIALOG)
    {
        dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrA(window, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
        dialog->m_hWnd = window;
    }
    else
    {
        dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
    }
    if (dialog == NULL)
    {
        // Messages that arrive before WM_INITDIALOG (WM_SETFONT and the like).
        return FALSE;
    }
    try
    {
        return dialog->HandleMessage(message, wParam, lParam);
    }
    catch (...)
    {
        dialog->m_failure = std::current_exception();
        ::EndDialog(window, -1);
        return TRUE;
    }
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(HIWORD(wParam), LOWORD(wParam));
    default:
        return FALSE;
    }
}

BOOL CDialog::OnCommand(UINT code, UINT id)
{
    if (m_failure)
    {
        return TRUE; // the dialog is ending; nothing more runs
    }
    for (const AFX_MSGMAP* map = GetMessageMap(); map != NULL; map = map->pBaseMap)
    {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != NULL; ++entry)
        {
            if (entry->nCode == code && entry->nID == id)
            {
                (this->*(entry->pfn))();
                return TRUE;
            }
        }
    }
    return FALSE;
}
