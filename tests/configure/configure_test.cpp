// Configure through TB_RULE.dll's interface, as the host calls it: a counting site, a real
// host window, the real select-collection dialog driven under Xvfb, and host buffers with
// guard bytes on both sides.
#include <gtest/gtest.h>

#include <limits.h>

#include "configure/host_site.h"
#include "support/debug_trace.h"
#include "support/dialog_driver.h"
#include "support/guarded_buffer.h"
#include "support/rule_module.h"
#include "support/tallybook_key.h"

namespace
{
// Control numbers as the dialogs carry them.
const int kOk = IDOK, kCancel = IDCANCEL, kList = 1000, kNew = 1002, kName = 1004;

class ConfigureTest : public ::testing::Test
{
protected:
    void SetUp()
    {
        tallybook_key::DeleteAll();
        tallybook_key::StoreName(1, "Work");
        tallybook_key::StoreName(2, "Home");
        ASSERT_TRUE(m_host.handle() != NULL);
        m_action = m_module.CreateAction();
        ASSERT_TRUE(m_action != NULL);
    }
    void TearDown()
    {
        if (m_action != NULL)
        {
            EXPECT_EQ(0u, m_action->Release());
        }
        tallybook_key::DeleteAll();
    }

    // A buffer for a capacity as the host makes one: capacity + 1 bytes, or a small one when
    // the capacity is negative.
    static size_t BufferSizeFor(LONG capacity) { return capacity >= 0 ? capacity + 1 : 8; }

    RuleModule m_module;
    HostWindow m_host;
    IRuleAction* m_action = NULL;
};

// Picks entry `index` (Home = 0, Work = 1) and confirms with OK, checking on the way that the
// dialog sits over the host's window, which is disabled while it runs.
DialogDriver::Action Choose(int index, HWND host)
{
    return [index, host](HWND dialog) {
        EXPECT_EQ(host, GetWindow(dialog, GW_OWNER));
        EXPECT_FALSE(IsWindowEnabled(host));
        SelectEntry(dialog, kList, index);
        Click(dialog, kOk);
    };
}
} // namespace

// One row per outcome: what the user does, the two capacities, and what the host gets back.
TEST_F(ConfigureTest, HandsBackBothTextsOrNeither)
{
    struct Case
    {
        const char* what;
        LONG nameCapacity;
        LONG displayCapacity;
        HRESULT expected;
    };
    const Case cases[] = {
        {"both fit exactly (4 and 22)", 4, 22, S_OK},
        {"plenty of room", 255, 255, S_OK},
        {"display one short, name fits", 100, 21, TYPE_E_BUFFERTOOSMALL},
        {"name one short, display fits", 3, 22, TYPE_E_BUFFERTOOSMALL},
        {"negative name capacity", -1, 255, TYPE_E_BUFFERTOOSMALL},
        {"negative display capacity", 255, -1, TYPE_E_BUFFERTOOSMALL},
        {"most negative capacities", LONG_MIN, LONG_MIN, TYPE_E_BUFFERTOOSMALL},
        {"zero capacities", 0, 0, TYPE_E_BUFFERTOOSMALL},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CallLog log;
        CountingSite site(&log, m_host.handle());
        GuardedBuffer name(BufferSizeFor(c.nameCapacity));
        GuardedBuffer display(BufferSizeFor(c.displayCapacity));
        DebugTraceCapture traces;
        DialogDriver driver;
        driver.Then(Choose(1, m_host.handle()));

        EXPECT_EQ(c.expected, m_action->Configure(&site, name.data(), c.nameCapacity,
                                                  display.data(), c.displayCapacity));

        EXPECT_EQ(1, driver.dialogsSeen());
        EXPECT_TRUE(IsWindowEnabled(m_host.handle()));
        EXPECT_EQ((std::vector<std::string>{"site.GetWindow"}), log.entries());
        EXPECT_TRUE(traces.texts().empty());
        EXPECT_TRUE(name.GuardsIntact());
        EXPECT_TRUE(display.GuardsIntact());
        if (c.expected == S_OK)
        {
            EXPECT_EQ("Work", name.Text());
            EXPECT_EQ(5u, name.BytesWritten());
            EXPECT_EQ("Add To Collection Work", display.Text());
            EXPECT_EQ(23u, display.BytesWritten());
        }
        else
        {
            EXPECT_TRUE(name.Untouched());
            EXPECT_TRUE(display.Untouched());
        }
    }
}

// Ways of ending the dialog without a collection: nothing is written, the result says so.
TEST_F(ConfigureTest, NothingChosenIsOutOfBounds)
{
    struct Case
    {
        const char* what;
        DialogDriver::Action end;
    };
    const Case cases[] = {
        {"Cancel", [](HWND dialog) { Click(dialog, kCancel); }},
        {"Escape after picking an entry",
         [](HWND dialog) {
             SelectEntry(dialog, kList, 0);
             PressKey(dialog, VK_ESCAPE);
         }},
        {"close box", [](HWND dialog) { CloseBox(dialog); }},
        {"double-click with nothing selected",
         [](HWND dialog) { DoubleClickList(dialog, kList); }},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CallLog log;
        CountingSite site(&log, m_host.handle());
        GuardedBuffer name(256);
        GuardedBuffer display(256);
        DialogDriver driver;
        driver.Then(c.end);
        EXPECT_EQ(TYPE_E_OUTOFBOUNDS,
                  m_action->Configure(&site, name.data(), 255, display.data(), 255));
        EXPECT_EQ(1, driver.dialogsSeen());
        EXPECT_TRUE(name.Untouched());
        EXPECT_TRUE(display.Untouched());
        EXPECT_EQ(0, site.counter.refs() - 1) << "the site is neither kept nor released";
    }
}

TEST_F(ConfigureTest, NullBufferIsRefusedBeforeTheSiteIsAsked)
{
    for (int which = 0; which < 2; ++which)
    {
        SCOPED_TRACE(which == 0 ? "name buffer null" : "display buffer null");
        CallLog log;
        CountingSite site(&log, m_host.handle());
        GuardedBuffer other(256);
        DialogDriver driver;
        const HRESULT result =
            which == 0 ? m_action->Configure(&site, NULL, 255, other.data(), 255)
                       : m_action->Configure(&site, other.data(), 255, NULL, 255);
        EXPECT_EQ(E_INVALIDARG, result);
        EXPECT_TRUE(log.entries().empty());
        EXPECT_EQ(0, driver.dialogsSeen());
        EXPECT_TRUE(other.Untouched());
    }
}

TEST_F(ConfigureTest, NoWindowFromTheSiteTracesAndSucceedsWithoutADialog)
{
    CallLog log;
    CountingSite site(&log, m_host.handle(), E_FAIL);
    GuardedBuffer name(256);
    GuardedBuffer display(256);
    DebugTraceCapture traces;
    DialogDriver driver;
    EXPECT_EQ(S_OK, m_action->Configure(&site, name.data(), 255, display.data(), 255));
    EXPECT_EQ((std::vector<std::string>{"Unable to obtain window!"}), traces.texts());
    EXPECT_EQ((std::vector<std::string>{"site.GetWindow"}), log.entries());
    EXPECT_EQ(0, driver.dialogsSeen());
    EXPECT_TRUE(name.Untouched());
    EXPECT_TRUE(display.Untouched());
}

// The whole path of a new rule: the user creates a collection in the dialog, the host gets its
// name and display text, and the registry keeps it.
TEST_F(ConfigureTest, ACollectionCreatedInTheDialogComesBackAndIsStored)
{
    CallLog log;
    CountingSite site(&log, m_host.handle());
    GuardedBuffer name(26);
    GuardedBuffer display(44);
    DialogDriver driver;
    driver
        .Then([](HWND dialog) {
            Click(dialog, kNew);
            PressKey(dialog, VK_RETURN);
        })
        .Then([](HWND dialog) {
            TypeText(dialog, kName, "Receipts and invoices 26");
            PressKey(dialog, VK_RETURN);
        });
    EXPECT_EQ(S_OK, m_action->Configure(&site, name.data(), 25, display.data(), 43));
    EXPECT_EQ(2, driver.dialogsSeen());
    EXPECT_EQ("Receipts and invoices 26", name.Text());
    EXPECT_EQ("Add To Collection Receipts and invoices 26", display.Text());
    EXPECT_TRUE(name.GuardsIntact());
    EXPECT_TRUE(display.GuardsIntact());
    EXPECT_EQ("Receipts and invoices 26", tallybook_key::LoadName(3));
}

// A site that succeeds with no window: the dialog still runs, owned by whatever window is
// active on the host's thread.
TEST_F(ConfigureTest, ASiteThatGivesANullWindowStillGetsTheDialog)
{
    CallLog log;
    CountingSite site(&log, NULL);
    GuardedBuffer name(256);
    GuardedBuffer display(256);
    DialogDriver driver;
    driver.Then([](HWND dialog) {
        SelectEntry(dialog, kList, 0);
        Click(dialog, kOk);
    });
    EXPECT_EQ(S_OK, m_action->Configure(&site, name.data(), 255, display.data(), 255));
    EXPECT_EQ("Home", name.Text());
    EXPECT_EQ("Add To Collection Home", display.Text());
}
