#include "dialogs/select_collection_dlg.h"

#include "collections/collection_registry.h"
#include "dialogs/new_collection_dlg.h"
#include "dialogs/resource.h"

namespace
{
const int kReadBufferSize = 40;
const int kEntryBufferSize = 40;
const int kCompareBufferSize = 100;

const AFX_MSGMAP_ENTRY kSelectCollectionEntries[] = {
    {LBN_DBLCLK, IDC_COLLECTION_LIST,
     static_cast<AFX_PMSG>(&CSelectCollectionDlg::OnDblclkCollectionList)},
    {LBN_SELCHANGE, IDC_COLLECTION_LIST,
     static_cast<AFX_PMSG>(&CSelectCollectionDlg::OnSelchangeCollectionList)},
    {BN_CLICKED, IDC_NEW_COLLECTION,
     static_cast<AFX_PMSG>(&CSelectCollectionDlg::OnNewCollection)},
    {0, 0, NULL},
};

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The number for a new collection. It is the list's entry count once the new entry is in,
// which is the first free number while the stored entries run 1..K without a gap and all of
// them were listed. When the listing stopped early (a gap, an entry that could not be read)
// that number may belong to a stored collection: move past it rather than write over a name
// the user has.
int NumberForNewCollection(int entryCount)
{
    int number = entryCount > 0 ? entryCount : 1;
    while (!IsCollectionNumberFree(number))
    {
        ++number;
    }
    return number;
}
} // namespace

bool SameCollectionName(const char* left, const char* right)
{
    for (;; ++left, ++right)
    {
        if (FoldAscii(*left) != FoldAscii(*right))
        {
            return false;
        }
        if (*left == '\0')
        {
            return true;
        }
    }
}

const AFX_MSGMAP CSelectCollectionDlg::messageMap = {&CDialog::messageMap,
                                                     kSelectCollectionEntries};

CSelectCollectionDlg::CSelectCollectionDlg(CWnd* parent)
    : CDialog(IDD_SELECT_COLLECTION, parent), m_selectedName("")
{
}

CSelectCollectionDlg::~CSelectCollectionDlg()
{
}

const AFX_MSGMAP* CSelectCollectionDlg::GetMessageMap() const
{
    return &messageMap;
}

void CSelectCollectionDlg::DoDataExchange(CDataExchange* /*exchange*/)
{
    // The dialog reads and fills its controls itself.
}

BOOL CSelectCollectionDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CWnd* list = GetDlgItem(IDC_COLLECTION_LIST);
    char name[kReadBufferSize];
    for (int number = 1; ReadCollectionName(number, name); ++number)
    {
        list->SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    // The focus goes to the first enabled tab stop: the list, while OK is disabled.
    return TRUE;
}

void CSelectCollectionDlg::OnSelchangeCollectionList()
{
    GetDlgItem(IDOK)->EnableWindow(TRUE);
}

void CSelectCollectionDlg::OnDblclkCollectionList()
{
    GetDlgItem(IDOK)->EnableWindow(TRUE);
    OnOK();
}

void CSelectCollectionDlg::OnOK()
{
    CWnd* list = GetDlgItem(IDC_COLLECTION_LIST);
    const LRESULT selected = list->SendMessage(LB_GETCURSEL);
    if (selected != LB_ERR)
    {
        // Entries hold at most 29 characters, so 40 bytes hold any of them; a text the list
        // cannot give (LB_ERR) leaves the selected name as it was.
        char name[kEntryBufferSize] = {0};
        const LRESULT length = list->SendMessage(LB_GETTEXTLEN, selected);
        if (length != LB_ERR && length < kEntryBufferSize &&
            list->SendMessage(LB_GETTEXT, selected, reinterpret_cast<LPARAM>(name)) != LB_ERR)
        {
            m_selectedName = name;
        }
    }
    CDialog::OnOK();
}

void CSelectCollectionDlg::OnNewCollection()
{
    CNewCollectionDlg newDialog(NULL);
    newDialog.DoModal();
    if (newDialog.m_selectedName.IsEmpty())
    {
        return;
    }
    CWnd* list = GetDlgItem(IDC_COLLECTION_LIST);
    bool found = false;
    for (LRESULT i = 0; i < list->SendMessage(LB_GETCOUNT); ++i)
    {
        char entry[kCompareBufferSize] = {0};
        const LRESULT length = list->SendMessage(LB_GETTEXTLEN, i);
        if (length == LB_ERR || length >= kCompareBufferSize)
        {
            continue;
        }
        list->SendMessage(LB_GETTEXT, i, reinterpret_cast<LPARAM>(entry));
        if (SameCollectionName(entry, newDialog.m_selectedName))
        {
            list->SendMessage(LB_SETCURSEL, i);
            found = true;
            break;
        }
    }
    if (!found)
    {
        const LRESULT added = list->SendMessage(
            LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(static_cast<LPCSTR>(newDialog.m_selectedName)));
        list->SendMessage(LB_SETCURSEL, added);
        const int count = static_cast<int>(list->SendMessage(LB_GETCOUNT));
        WriteCollectionName(NumberForNewCollection(count), newDialog.m_selectedName);
    }
    CWnd* ok = GetDlgItem(IDOK);
    ok->EnableWindow(TRUE);
    GotoDlgCtrl(ok);
}
