// The dialog in which the user types the name of a new collection (resource 102).
#pragma once

#include "classlib/cstring.h"
#include "classlib/dialog.h"

class CNewCollectionDlg : public CDialog
{
public:
    explicit CNewCollectionDlg(CWnd* parent = NULL);
    virtual ~CNewCollectionDlg();

    virtual const AFX_MSGMAP* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* exchange);
    virtual BOOL OnInitDialog();
    virtual void OnOK();

    // The name confirmed with OK, as typed; empty unless the user confirmed.
    CString m_selectedName;

    void OnChangeCollectionName();

protected:
    static const AFX_MSGMAP messageMap;
};
