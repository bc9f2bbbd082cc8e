// The select-collection dialog, run for real over the registry of the test prefix and driven as
// a user would; "New >>" opens the real new-collection dialog inside it.
#include <gtest/gtest.h>

#include "dialogs/resource.h"
#include "dialogs/select_collection_dlg.h"
#include "support/dialog_driver.h"
#include "support/tallybook_key.h"

namespace
{
typedef std::vector<std::string> Names;

class SelectCollectionDlgTest : public ::testing::Test
{
protected:
    void SetUp() { tallybook_key::DeleteAll(); }
    void TearDown() { tallybook_key::DeleteAll(); }

    static void StoreNames(const Names& names)
    {
        for (size_t i = 0; i < names.size(); ++i)
        {
            tallybook_key::StoreName(static_cast<int>(i) + 1, names[i]);
        }
    }

    // Runs the dialog with `driver` and hands back how it ended.
    static std::pair<INT_PTR, std::string> Run(DialogDriver& driver, int dialogs = 1)
    {
        CSelectCollectionDlg dialog(NULL);
        const INT_PTR result = dialog.DoModal();
        EXPECT_EQ(dialogs, driver.dialogsSeen());
        EXPECT_EQ(0, driver.unexpectedDialogs());
        EXPECT_TRUE(driver.allActionsRun());
        return std::make_pair(result, std::string(static_cast<const char*>(dialog.m_selectedName)));
    }

    // The action for a new-collection dialog: type `name` and confirm it.
    static DialogDriver::Action Create(const std::string& name)
    {
        return [name](HWND dialog) {
            TypeText(dialog, IDC_COLLECTION_NAME, name);
            Click(dialog, IDOK);
        };
    }
};

struct ViewState
{
    Names entries;
    int selected;
    bool okEnabled;
    int focus;
};

ViewState StateOf(HWND dialog)
{
    ViewState state;
    state.entries = ListEntries(dialog, IDC_COLLECTION_LIST);
    state.selected = SelectedIndex(dialog, IDC_COLLECTION_LIST);
    state.okEnabled = IsEnabled(dialog, IDOK);
    state.focus = FocusedControlId(dialog);
    return state;
}
} // namespace

TEST_F(SelectCollectionDlgTest, NoCollectionsStored)
{
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        EXPECT_EQ("Set Tallybook Inbox Collection", WindowCaption(dialog));
        EXPECT_TRUE(ListEntries(dialog, IDC_COLLECTION_LIST).empty());
        EXPECT_FALSE(IsEnabled(dialog, IDOK));
        EXPECT_EQ(IDC_COLLECTION_LIST, FocusedControlId(dialog));
        PressKey(dialog, VK_RETURN); // OK is disabled: nothing happens
        EXPECT_TRUE(IsWindowVisible(dialog));
        Click(dialog, IDCANCEL);
    });
    const std::pair<INT_PTR, std::string> outcome = Run(driver);
    EXPECT_EQ(IDCANCEL, outcome.first);
    EXPECT_EQ("", outcome.second);
}

// Home sorts above Work; nothing is selected until the user clicks; each way of confirming
// returns the entry selected at that moment.
TEST_F(SelectCollectionDlgTest, ListsSortedAndReturnsTheConfirmedEntry)
{
    struct Case
    {
        const char* how;
        void (*confirm)(HWND dialog);
    };
    const Case cases[] = {
        {"OK button", [](HWND dialog) { Click(dialog, IDOK); }},
        {"Enter", [](HWND dialog) { PressKey(dialog, VK_RETURN); }},
        {"double-click", [](HWND dialog) { DoubleClickList(dialog, IDC_COLLECTION_LIST); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.how);
        tallybook_key::DeleteAll();
        StoreNames({"Work", "Home"});
        DialogDriver driver;
        driver.Then([&c](HWND dialog) {
            EXPECT_EQ((Names{"Home", "Work"}), ListEntries(dialog, IDC_COLLECTION_LIST));
            EXPECT_EQ(LB_ERR, SelectedIndex(dialog, IDC_COLLECTION_LIST));
            EXPECT_FALSE(IsEnabled(dialog, IDOK));
            SelectEntry(dialog, IDC_COLLECTION_LIST, 1);
            EXPECT_TRUE(IsEnabled(dialog, IDOK));
            c.confirm(dialog);
        });
        const std::pair<INT_PTR, std::string> outcome = Run(driver);
        EXPECT_EQ(IDOK, outcome.first);
        EXPECT_EQ("Work", outcome.second);
    }
}

TEST_F(SelectCollectionDlgTest, LeavingWithoutConfirmingReturnsNoName)
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
        tallybook_key::DeleteAll();
        StoreNames({"Work", "Home"});
        DialogDriver driver;
        driver.Then([&c](HWND dialog) {
            SelectEntry(dialog, IDC_COLLECTION_LIST, 0);
            c.leave(dialog);
        });
        const std::pair<INT_PTR, std::string> outcome = Run(driver);
        EXPECT_EQ(IDCANCEL, outcome.first);
        EXPECT_EQ("", outcome.second);
    }
}

TEST_F(SelectCollectionDlgTest, DoubleClickWithNothingSelectedConfirmsWithNoName)
{
    StoreNames({"Work"});
    DialogDriver driver;
    driver.Then([](HWND dialog) { DoubleClickList(dialog, IDC_COLLECTION_LIST); });
    const std::pair<INT_PTR, std::string> outcome = Run(driver);
    EXPECT_EQ(IDOK, outcome.first);
    EXPECT_EQ("", outcome.second);
}

TEST_F(SelectCollectionDlgTest, NewNameMatchingAListedOneByAsciiCaseSelectsIt)
{
    StoreNames({"Home", "Work", "Gym"});
    DialogDriver driver;
    driver
        .Then([](HWND dialog) {
            Click(dialog, IDC_NEW_COLLECTION);
            const ViewState after = StateOf(dialog);
            EXPECT_EQ((Names{"Gym", "Home", "Work"}), after.entries);
            EXPECT_EQ(2, after.selected);
            EXPECT_TRUE(after.okEnabled);
            EXPECT_EQ(IDOK, after.focus);
            Click(dialog, IDOK);
        })
        .Then(Create("wORK"));
    const std::pair<INT_PTR, std::string> outcome = Run(driver, 2);
    EXPECT_EQ(IDOK, outcome.first);
    EXPECT_EQ("Work", outcome.second) << "the entry as stored, not as typed";
    EXPECT_EQ("<none>", tallybook_key::LoadName(4)) << "nothing is written";
    EXPECT_EQ("Work", tallybook_key::LoadName(2));
}

TEST_F(SelectCollectionDlgTest, NewNameIsAddedSelectedAndStoredAtOnce)
{
    StoreNames({"Home", "Work", "Gym"});
    DialogDriver driver;
    driver
        .Then([](HWND dialog) {
            Click(dialog, IDC_NEW_COLLECTION);
            EXPECT_EQ("Travel", tallybook_key::LoadName(4)) << "stored before the dialog ends";
            const ViewState after = StateOf(dialog);
            EXPECT_EQ((Names{"Gym", "Home", "Travel", "Work"}), after.entries);
            EXPECT_EQ(2, after.selected);
            EXPECT_TRUE(after.okEnabled);
            EXPECT_EQ(IDOK, after.focus);
            PressKey(dialog, VK_RETURN);
        })
        .Then([](HWND dialog) {
            // Opened without a parent: owned by the active window, the select dialog, which
            // is disabled meanwhile.
            HWND owner = GetWindow(dialog, GW_OWNER);
            EXPECT_EQ("Set Tallybook Inbox Collection", WindowCaption(owner));
            EXPECT_FALSE(IsWindowEnabled(owner));
            TypeText(dialog, IDC_COLLECTION_NAME, "Travel");
            Click(dialog, IDOK);
        });
    const std::pair<INT_PTR, std::string> outcome = Run(driver, 2);
    EXPECT_EQ(IDOK, outcome.first);
    EXPECT_EQ("Travel", outcome.second);
}

// Two creations in one opening are numbered K + 1 and K + 2; cancelling afterwards keeps both.
TEST_F(SelectCollectionDlgTest, CreatedCollectionsStayStoredWhenTheDialogIsCancelled)
{
    StoreNames({"Home", "Work"});
    DialogDriver driver;
    driver
        .Then([](HWND dialog) {
            Click(dialog, IDC_NEW_COLLECTION);
            Click(dialog, IDC_NEW_COLLECTION);
            EXPECT_EQ((Names{"Gym", "Home", "Travel", "Work"}),
                      ListEntries(dialog, IDC_COLLECTION_LIST));
            EXPECT_EQ(0, SelectedIndex(dialog, IDC_COLLECTION_LIST)) << "the latest one";
            Click(dialog, IDCANCEL);
        })
        .Then(Create("Travel"))
        .Then(Create("Gym"));
    const std::pair<INT_PTR, std::string> outcome = Run(driver, 3);
    EXPECT_EQ(IDCANCEL, outcome.first);
    EXPECT_EQ("", outcome.second);
    EXPECT_EQ("Travel", tallybook_key::LoadName(3));
    EXPECT_EQ("Gym", tallybook_key::LoadName(4));
}

// However the new-collection dialog is left without a name, this dialog stays as it was.
TEST_F(SelectCollectionDlgTest, CancelledNewCollectionChangesNothing)
{
    struct Case
    {
        const char* how;
        bool selectFirst;
        DialogDriver::Action leave;
    };
    const Case cases[] = {
        {"Cancel, nothing selected", false,
         [](HWND dialog) {
             TypeText(dialog, IDC_COLLECTION_NAME, "Travel");
             Click(dialog, IDCANCEL);
         }},
        {"Escape, an entry selected", true,
         [](HWND dialog) {
             TypeText(dialog, IDC_COLLECTION_NAME, "Travel");
             PressKey(dialog, VK_ESCAPE);
         }},
        {"close box, an entry selected", true, [](HWND dialog) { CloseBox(dialog); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.how);
        tallybook_key::DeleteAll();
        StoreNames({"Home", "Work"});
        DialogDriver driver;
        driver
            .Then([&c](HWND dialog) {
                if (c.selectFirst)
                {
                    SelectEntry(dialog, IDC_COLLECTION_LIST, 1);
                }
                const ViewState before = StateOf(dialog);
                Click(dialog, IDC_NEW_COLLECTION);
                const ViewState after = StateOf(dialog);
                EXPECT_EQ(before.entries, after.entries);
                EXPECT_EQ(before.selected, after.selected);
                EXPECT_EQ(before.okEnabled, after.okEnabled);
                EXPECT_EQ(c.selectFirst, after.okEnabled);
                EXPECT_EQ(IDC_NEW_COLLECTION, after.focus) << "where the click left it";
                Click(dialog, IDCANCEL);
            })
            .Then(c.leave);
        Run(driver, 2);
        EXPECT_EQ("<none>", tallybook_key::LoadName(3));
    }
}

// Only A-Z and a-z fold together: other letters' case, and spaces, make a different name.
TEST_F(SelectCollectionDlgTest, NamesDifferingBeyondAsciiCaseAreNewCollections)
{
    struct Case
    {
        const char* typed;
        const char* listed;
    };
    const Case cases[] = {
        {"\xC9T\xC9", "\xE9t\xE9"},     // É and é in the ANSI code page
        {"\xE9T\xE9", "\xE9t\xE9"},     // same bytes but for ASCII case: a duplicate
        {" Work", "Work"},
        {"Work ", "Work"},
        {"Wrok", "Work"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::string("typed '") + c.typed + "' with '" + c.listed + "' listed");
        const bool duplicate = SameCollectionName(c.typed, c.listed);
        tallybook_key::DeleteAll();
        StoreNames({c.listed});
        DialogDriver driver;
        driver.Then([](HWND dialog) {
                  Click(dialog, IDC_NEW_COLLECTION);
                  Click(dialog, IDOK);
              })
            .Then(Create(c.typed));
        const std::pair<INT_PTR, std::string> outcome = Run(driver, 2);
        EXPECT_EQ(duplicate ? c.listed : c.typed, outcome.second);
        EXPECT_EQ(duplicate ? "<none>" : c.typed, tallybook_key::LoadName(2));
    }
}

// In the face the system really draws with, no caption or label is cut off.
TEST_F(SelectCollectionDlgTest, EveryTextFitsItsControl)
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
    Run(driver);
}

TEST(SameCollectionNameTest, FoldsOnlyAsciiLetters)
{
    EXPECT_TRUE(SameCollectionName("Work", "wORK"));
    EXPECT_TRUE(SameCollectionName("", ""));
    EXPECT_TRUE(SameCollectionName("A-Z [x]", "a-z [X]"));
    EXPECT_FALSE(SameCollectionName("Work", "Works"));
    EXPECT_FALSE(SameCollectionName("Works", "Work"));
    EXPECT_FALSE(SameCollectionName("\xC9", "\xE9"));
    EXPECT_FALSE(SameCollectionName("@", "`")) << "0x40 and 0x60 are not a case pair";
    EXPECT_FALSE(SameCollectionName("[", "{"));
}

// When the listing stopped early, the entry count can be the number of a stored collection.
// A new collection then goes to the next number that holds no name, never over a stored one;
// with an unbroken run it is K + 1, K + 2.
TEST_F(SelectCollectionDlgTest, NewCollectionsNeverOverwriteAStoredName)
{
    struct Stored
    {
        int number;
        const char* name; // NULL: the key without a "Name" value
    };
    struct Case
    {
        const char* what;
        std::vector<Stored> stored;
        std::vector<std::pair<int, std::string> > expected; // number, name afterwards
    };
    const char* tooLong = "abcdefghijklmnopqrstuvwxyz01234";
    const Case cases[] = {
        {"unbroken run of two", {{1, "Home"}, {2, "Work"}},
         {{1, "Home"}, {2, "Work"}, {3, "New1"}, {4, "New2"}, {5, "<none>"}}},
        {"gap at 3, Group4 stored", {{1, "Home"}, {2, "Work"}, {4, "Gym"}},
         {{3, "New1"}, {4, "Gym"}, {5, "New2"}, {6, "<none>"}}},
        {"Group3 unreadable (name too long)", {{1, "Home"}, {2, "Work"}, {3, tooLong}, {4, "Gym"}},
         {{3, tooLong}, {4, "Gym"}, {5, "New1"}, {6, "New2"}}},
        {"Group3 without a Name value", {{1, "Home"}, {2, "Work"}, {3, NULL}, {4, "Gym"}},
         {{3, "New1"}, {4, "Gym"}, {5, "New2"}}},
        {"nothing readable at 1", {{1, tooLong}, {2, "Work"}},
         {{1, tooLong}, {2, "Work"}, {3, "New1"}, {4, "New2"}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        tallybook_key::DeleteAll();
        for (const Stored& s : c.stored)
        {
            if (s.name != NULL)
            {
                tallybook_key::StoreName(s.number, s.name);
            }
            else
            {
                tallybook_key::StoreRaw(s.number, REG_SZ, NULL, 0);
            }
        }
        DialogDriver driver;
        driver.Then([](HWND dialog) {
                  Click(dialog, IDC_NEW_COLLECTION);
                  Click(dialog, IDC_NEW_COLLECTION);
                  Click(dialog, IDCANCEL);
              })
            .Then(Create("New1"))
            .Then(Create("New2"));
        Run(driver, 3);
        for (const std::pair<int, std::string>& e : c.expected)
        {
            EXPECT_EQ(e.second, tallybook_key::LoadName(e.first)) << "Group" << e.first;
        }
    }
}
