#include "dialogs/new_collection_dlg.h"

#include "dialogs/resource.h"

namespace
{
// Longest name the user can type.
const int kMaxNameLength = 25;
// The edit box never holds more than 25 characters; reading through a larger buffer with
// a count of 30 takes at most 29 whatever happens.
const int kNameBufferSize = 40;
const int kNameReadCount = 30;

const AFX_MSGMAP_ENTRY kNewCollectionEntries[] = {
    {EN_CHANGE, IDC_COLLECTION_NAME,
     static_cast<AFX_PMSG>(&CNewCollectionDlg::OnChangeCollectionName)},
    {0, 0, NULL},
};
} // namespace

const AFX_MSGMAP CNewCollectionDlg::messageMap = {&CDialog::messageMap, kNewCollectionEntries};

CNewCollectionDlg::CNewCollectionDlg(CWnd* parent) : CDialog(IDD_NEW_COLLECTION, parent)
{
}

CNewCollectionDlg::~CNewCollectionDlg()
{
}

const AFX_MSGMAP* CNewCollectionDlg::GetMessageMap() const
{
    return &messageMap;
}

void CNewCollectionDlg::DoDataExchange(CDataExchange* /*exchange*/)
{
    // The dialog reads its one control itself.
}

BOOL CNewCollectionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_selectedName = "";
    GetDlgItem(IDC_COLLECTION_NAME)->SendMessage(EM_LIMITTEXT, kMaxNameLength);
    GetDlgItem(IDOK)->EnableWindow(FALSE);
    return TRUE;
}

void CNewCollectionDlg::OnChangeCollectionName()
{
    char name[kNameBufferSize] = {0};
    GetDlgItem(IDC_COLLECTION_NAME)->GetWindowText(name, kNameReadCount);
    GetDlgItem(IDOK)->EnableWindow(name[0] != '\0');
}

void CNewCollectionDlg::OnOK()
{
    char name[kNameBufferSize] = {0};
    GetDlgItem(IDC_COLLECTION_NAME)->GetWindowText(name, kNameReadCount);
    m_selectedName = name;
    CDialog::OnOK();
}
