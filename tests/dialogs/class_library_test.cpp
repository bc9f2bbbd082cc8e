// What the dialogs rely on from our class library: the message map's order, the modal run's
// results, handlers' exceptions kept inside the modal loop, and temporary window objects.
#include <gtest/gtest.h>

#include <stdexcept>

#include "classlib/dialog.h"
#include "dialogs/resource.h"
#include "support/dialog_driver.h"

namespace
{
// Dialog 102 with a map that has two entries for the same notification, and a handler that
// fails.
class MapOrderDlg : public CDialog
{
public:
    MapOrderDlg() : CDialog(IDD_NEW_COLLECTION, NULL) {}
    virtual const AFX_MSGMAP* GetMessageMap() const { return &messageMap; }

    void First() { calls += "first;"; }
    void Second() { calls += "second;"; }
    void Fail() { throw std::runtime_error("handler failed"); }
    virtual void OnOK()
    {
        calls += "OnOK;";
        CDialog::OnOK();
    }

    std::string calls;

protected:
    static const AFX_MSGMAP messageMap;
};

const AFX_MSGMAP_ENTRY kMapOrderEntries[] = {
    {EN_CHANGE, IDC_COLLECTION_NAME, static_cast<AFX_PMSG>(&MapOrderDlg::First)},
    {EN_CHANGE, IDC_COLLECTION_NAME, static_cast<AFX_PMSG>(&MapOrderDlg::Second)},
    {BN_CLICKED, IDCANCEL, static_cast<AFX_PMSG>(&MapOrderDlg::Fail)},
    {0, 0, NULL},
};
const AFX_MSGMAP MapOrderDlg::messageMap = {&CDialog::messageMap, kMapOrderEntries};
} // namespace

TEST(ClassLibraryTest, FirstMatchingEntryInTableOrderHandlesANotification)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        TypeText(dialog, IDC_COLLECTION_NAME, "ab");
        Click(dialog, IDOK); // not in this map: the base's entry runs the virtual OnOK
    });
    MapOrderDlg dialog;
    EXPECT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ("first;first;OnOK;", dialog.calls);
    EXPECT_TRUE(dialog.m_hWnd == NULL);
}

TEST(ClassLibraryTest, AHandlersExceptionEndsTheDialogAndComesOutOfDoModal)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        Click(dialog, IDCANCEL);
        Click(dialog, IDOK); // the dialog is ending: nothing more runs
    });
    MapOrderDlg dialog;
    EXPECT_THROW(dialog.DoModal(), std::runtime_error);
    EXPECT_EQ("", dialog.calls);
    EXPECT_EQ(1, driver.dialogsSeen());
}

TEST(ClassLibraryTest, DoModalGivesMinusOneWhenTheDialogCannotBeCreated)
{
    DialogDriver driver;
    CDialog missing(999, NULL);
    EXPECT_EQ(-1, missing.DoModal());
    EXPECT_EQ(0, driver.dialogsSeen());
}

TEST(ClassLibraryTest, TemporaryWindowObjectsAreOnePerLiveWindow)
{
    EXPECT_TRUE(CWnd::FromHandle(NULL) == NULL);
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                  GetModuleHandleA(NULL), NULL);
    ASSERT_TRUE(window != NULL);
    CWnd* first = CWnd::FromHandle(window);
    ASSERT_TRUE(first != NULL);
    EXPECT_EQ(window, first->m_hWnd);
    EXPECT_EQ(first, CWnd::FromHandle(window));
    DestroyWindow(window);
    // The object of a window that has gone is not handed out again.
    HWND other = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    CWnd* second = CWnd::FromHandle(other);
    ASSERT_TRUE(second != NULL);
    EXPECT_EQ(other, second->m_hWnd);
    DestroyWindow(other);
}
