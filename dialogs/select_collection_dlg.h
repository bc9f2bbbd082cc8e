// The dialog that lists the stored collections and returns the one the user confirms
// (resource 101). "New >>" creates a collection and stores it at once.
#pragma once

#include "classlib/cstring.h"
#include "classlib/dialog.h"

class CSelectCollectionDlg : public CDialog
{
public:
    explicit CSelectCollectionDlg(CWnd* parent);
    virtual ~CSelectCollectionDlg();

    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* exchange);
    virtual BOOL OnInitDialog();
    virtual void OnOK();

    // The name of the entry selected when the user confirmed; empty when nothing was chosen.
    CString m_selectedName;

    void OnDblclkCollectionList();
    void OnSelchangeCollectionList();
    void OnNewCollection();

protected:
    static const AFX_MSGMAP messageMap;
};

// Collection names are equal when they match byte for byte with only A-Z and a-z folded
// together, whatever the user's locale.
bool SameCollectionName(const char* left, const char* right);
