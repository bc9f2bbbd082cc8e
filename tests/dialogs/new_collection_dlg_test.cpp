// The new-collection dialog, run for real and driven as a user would.
#include <gtest/gtest.h>

#include "dialogs/new_collection_dlg.h"
#include "dialogs/resource.h"
#include "support/dialog_driver.h"

namespace
{
struct Outcome
{
    INT_PTR result;
    std::string name;
};

Outcome RunNewCollectionDlg(DialogDriver& driver)
{
    CNewCollectionDlg dialog(NULL);
    Outcome outcome;
    outcome.result = dialog.DoModal();
    outcome.name = static_cast<const char*>(dialog.m_selectedName);
    EXPECT_EQ(1, driver.dialogsSeen());
    EXPECT_EQ(0, driver.unexpectedDialogs());
    EXPECT_TRUE(driver.allActionsRun());
    return outcome;
}
} // namespace

TEST(NewCollectionDlgTest, OpensEmptyWithTheFocusInTheEditBoxAndOkDisabled)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        EXPECT_EQ("New Inbox Collection", WindowCaption(dialog));
        EXPECT_EQ("", ControlText(dialog, IDC_COLLECTION_NAME));
        EXPECT_EQ(IDC_COLLECTION_NAME, FocusedControlId(dialog));
        EXPECT_FALSE(IsEnabled(dialog, IDOK));
        EXPECT_TRUE(IsEnabled(dialog, IDCANCEL));
        // Enter with OK disabled does not confirm.
        PressKey(dialog, VK_RETURN);
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDCANCEL);
    });
    const Outcome outcome = RunNewCollectionDlg(driver);
    EXPECT_EQ(IDCANCEL, outcome.result);
    EXPECT_EQ("", outcome.name);
}

TEST(NewCollectionDlgTest, OkFollowsWhetherTheEditBoxHoldsText)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        TypeText(dialog, IDC_COLLECTION_NAME, "W");
        EXPECT_TRUE(IsEnabled(dialog, IDOK));
        Backspace(dialog, IDC_COLLECTION_NAME);
        EXPECT_EQ("", ControlText(dialog, IDC_COLLECTION_NAME));
        EXPECT_FALSE(IsEnabled(dialog, IDOK));
        TypeText(dialog, IDC_COLLECTION_NAME, "Wo");
        EXPECT_TRUE(IsEnabled(dialog, IDOK));
        Click(dialog, IDOK);
    });
    const Outcome outcome = RunNewCollectionDlg(driver);
    EXPECT_EQ(IDOK, outcome.result);
    EXPECT_EQ("Wo", outcome.name);
}

// Every way of leaving without OK leaves the name empty, whatever was typed.
TEST(NewCollectionDlgTest, CancelEscapeAndCloseBoxReturnNoName)
{
    struct Case
    {
        const char* how;
        void (*leave)(HWND dialog);
    };
    const Case cases[] = {
        {"Cancel button", [](HWND dialog) { Click(dialog, IDCANCEL); }},
        {"Escape", [](HWND dialog) { PressKey(dialog, VK_ESCAPE); }},
        {"close box", [](HWND dialog) { CloseBox(dialog); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.how);
        DialogDriver driver;
        driver.Then([&c](HWND dialog) {
            TypeText(dialog, IDC_COLLECTION_NAME, "Travel");
            c.leave(dialog);
        });
        const Outcome outcome = RunNewCollectionDlg(driver);
        EXPECT_EQ(IDCANCEL, outcome.result);
        EXPECT_EQ("", outcome.name);
    }
}

// The name comes back exactly as it stands in the edit box, which never holds more than 25
// characters however the text arrives.
TEST(NewCollectionDlgTest, NameIsTakenAsTypedUpToTwentyFiveCharacters)
{
    struct Case
    {
        const char* input;
        bool paste;
        bool enter; // confirm with Enter instead of the OK button
        const char* expected;
    };
    const Case cases[] = {
        {"Work", false, false, "Work"},
        {"Work", false, true, "Work"},
        {"   ", false, false, "   "},
        {" Work ", false, true, " Work "},
        {"abcdefghijklmnopqrstuvwxy", false, false, "abcdefghijklmnopqrstuvwxy"},
        {"abcdefghijklmnopqrstuvwxyz0123", false, false, "abcdefghijklmnopqrstuvwxy"},
        {"abcdefghijklmnopqrstuvwxy", true, false, "abcdefghijklmnopqrstuvwxy"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcdef", true, true, "ABCDEFGHIJKLMNOPQRSTUVWXY"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string(c.paste ? "pasted " : "typed ") + "'" + c.input + "'" +
                     (c.enter ? " + Enter" : " + OK"));
        DialogDriver driver;
        driver.Then([&c](HWND dialog) {
            if (c.paste)
            {
                Paste(dialog, IDC_COLLECTION_NAME, c.input);
            }
            else
            {
                TypeText(dialog, IDC_COLLECTION_NAME, c.input);
            }
            EXPECT_EQ(c.expected, ControlText(dialog, IDC_COLLECTION_NAME));
            if (c.enter)
            {
                PressKey(dialog, VK_RETURN);
            }
            else
            {
                Click(dialog, IDOK);
            }
        });
        const Outcome outcome = RunNewCollectionDlg(driver);
        EXPECT_EQ(IDOK, outcome.result);
        EXPECT_EQ(c.expected, outcome.name);
    }
}

// In the face the system really draws with, no caption or label is cut off.
TEST(NewCollectionDlgTest, EveryTextFitsItsControl)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        for (HWND child = GetWindow(dialog, GW_CHILD); child != NULL;
             child = GetWindow(child, GW_HWNDNEXT))
        {
            std::string face;
            EXPECT_TRUE(TextFitsControl(child, &face)) << "'" << WindowCaption(child) << "'";
            EXPECT_EQ("MS Sans Serif", face) << "'" << WindowCaption(child) << "'";
        }
        Click(dialog, IDCANCEL);
    });
    RunNewCollectionDlg(driver);
}
