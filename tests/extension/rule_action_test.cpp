// The rule-action object as the host sees it: TB_RULE.dll loaded by path, the object obtained
// through its export.
#include <gtest/gtest.h>

#include <string>

#include "support/guarded_buffer.h"
#include "support/rule_module.h"

namespace
{
const IID kSomeOtherIid = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class RuleActionTest : public ::testing::Test
{
protected:
    void SetUp()
    {
        ASSERT_NE(module.handle(), static_cast<HMODULE>(NULL)) << RuleModulePath();
        ASSERT_TRUE(module.entryPoint() != NULL);
        action = module.CreateAction();
        ASSERT_TRUE(action != NULL);
    }

    void TearDown()
    {
        if (action != NULL)
        {
            EXPECT_EQ(0u, action->Release());
        }
    }

    RuleModule module;
    IRuleAction* action = NULL;
};
} // namespace

TEST(RuleModuleTest, ExportByNameAndOrdinalOneAreTheSameFunction)
{
    RuleModule module;
    ASSERT_NE(module.handle(), static_cast<HMODULE>(NULL));
    FARPROC byOrdinal = GetProcAddress(module.handle(), MAKEINTRESOURCEA(1));
    ASSERT_TRUE(byOrdinal != NULL);
    EXPECT_EQ(reinterpret_cast<void*>(byOrdinal), reinterpret_cast<void*>(module.entryPoint()));
}

TEST(RuleModuleTest, EachCallCreatesAnObjectWhoseOnlyReferenceIsTheCallers)
{
    RuleModule module;
    ASSERT_TRUE(module.entryPoint() != NULL);
    IUnknown* first = module.entryPoint()();
    IUnknown* second = module.entryPoint()();
    ASSERT_TRUE(first != NULL);
    ASSERT_TRUE(second != NULL);
    EXPECT_NE(first, second);
    EXPECT_EQ(2u, first->AddRef());
    EXPECT_EQ(1u, first->Release());
    EXPECT_EQ(0u, first->Release());
    EXPECT_EQ(0u, second->Release());
}

TEST(RuleModuleTest, LoadsAndUnloadsTwiceInOneProcess)
{
    for (int round = 0; round < 2; ++round)
    {
        HMODULE module = LoadLibraryA(RuleModulePath().c_str());
        ASSERT_TRUE(module != NULL) << "round " << round;
        ExchEntryPointFn entry = reinterpret_cast<ExchEntryPointFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "ExchEntryPoint")));
        ASSERT_TRUE(entry != NULL);
        IUnknown* object = entry();
        ASSERT_TRUE(object != NULL);
        char text[64];
        IRuleAction* action = static_cast<IRuleAction*>(object);
        EXPECT_EQ(S_OK, action->Describe(0, "Round", text, sizeof(text) - 1));
        EXPECT_STREQ("Add Sender to Round", text);
        EXPECT_EQ(0u, object->Release());
        EXPECT_TRUE(FreeLibrary(module));
        EXPECT_TRUE(GetModuleHandleA("TB_RULE.dll") == NULL);
    }
}

TEST_F(RuleActionTest, QueryInterfaceGivesOneIdentityForIUnknownAndIRuleAction)
{
    struct Case
    {
        const char* what;
        const IID* iid;
        HRESULT result;
        bool sameObject;
    };
    const Case cases[] = {
        {"IUnknown", &IID_IUnknown, S_OK, true},
        {"IRuleAction", &IID_IRuleAction, S_OK, true},
        {"IRuleActionSite", &IID_IRuleActionSite, E_NOINTERFACE, false},
        {"IDispatch", &kSomeOtherIid, E_NOINTERFACE, false},
        {"IID_NULL", &IID_NULL, E_NOINTERFACE, false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        const ULONG before = action->AddRef() - 1;
        action->Release();
        void* out = reinterpret_cast<void*>(0x1234);
        EXPECT_EQ(c.result, action->QueryInterface(*c.iid, &out));
        if (c.sameObject)
        {
            EXPECT_EQ(static_cast<void*>(action), out);
            EXPECT_EQ(before + 2, action->AddRef()) << "a successful query adds one reference";
            action->Release();
            action->Release();
        }
        else
        {
            EXPECT_TRUE(out == NULL);
            EXPECT_EQ(before + 1, action->AddRef()) << "a refused query leaves the count alone";
            action->Release();
        }
    }
}

TEST_F(RuleActionTest, AddRefAndReleaseCountPlainly)
{
    EXPECT_EQ(2u, action->AddRef());
    EXPECT_EQ(3u, action->AddRef());
    EXPECT_EQ(2u, action->Release());
    EXPECT_EQ(1u, action->Release());
}

TEST_F(RuleActionTest, InitIgnoresItsArguments)
{
    const ULONG values[][2] = {{0, 0}, {1, 1}, {2, 2}, {0xFFFFFFFFu, 0x80000000u}};
    for (const auto& v : values)
    {
        EXPECT_EQ(S_OK, action->Init(v[0], v[1]));
    }
}

TEST_F(RuleActionTest, ShutdownWithNothingHeldSucceedsTwice)
{
    EXPECT_EQ(S_OK, action->Shutdown());
    EXPECT_EQ(S_OK, action->Shutdown());
}

TEST_F(RuleActionTest, DescribeWritesWholeTextOrNothing)
{
    const std::string longName(300, 'x');
    const std::string veryLongName(4000, 'y');
    struct Case
    {
        const char* what;
        std::string data;
        ULONG capacity;
        HRESULT result;
        std::string text; // expected text when the call succeeds
        size_t bufferSize = 0; // 0: capacity + 1, as the host passes it
    };
    const Case cases[] = {
        {"four letters, exact fit", "Work", 18, S_OK, "Add Sender to Work"},
        {"four letters, one short", "Work", 17, TYPE_E_BUFFERTOOSMALL, ""},
        {"empty name", "", 14, S_OK, "Add Sender to "},
        {"empty name, roomy buffer", "", 100, S_OK, "Add Sender to "},
        {"empty name, one short", "", 13, TYPE_E_BUFFERTOOSMALL, ""},
        {"capacity zero", "", 0, TYPE_E_BUFFERTOOSMALL, ""},
        {"capacity zero, name", "Work", 0, TYPE_E_BUFFERTOOSMALL, ""},
        {"non-ASCII bytes kept", "Caf\xE9", 18, S_OK, "Add Sender to Caf\xE9"},
        {"text of 259 characters", std::string(245, 'n'), 259, S_OK, "Add Sender to " + std::string(245, 'n')},
        {"longer than 259, room given", longName, 314, S_OK, "Add Sender to " + longName},
        {"longer than 259, one short", longName, 313, TYPE_E_BUFFERTOOSMALL, ""},
        {"longer than 259, usual buffer", longName, 259, TYPE_E_BUFFERTOOSMALL, ""},
        {"4000 characters, small buffer", veryLongName, 255, TYPE_E_BUFFERTOOSMALL, ""},
        {"text of 260 characters, exact fit", std::string(246, 'n'), 260, S_OK, "Add Sender to " + std::string(246, 'n')},
        {"text of 260 characters, one short", std::string(246, 'n'), 259, TYPE_E_BUFFERTOOSMALL, ""},
        {"4000 characters, the largest capacity", veryLongName, 0xFFFFFFFFu, S_OK, "Add Sender to " + veryLongName, 4015},
        {"name of 25 characters, capacity 0x80000000", std::string(25, 'q'), 0x80000000u, S_OK, "Add Sender to " + std::string(25, 'q'), 40},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        GuardedBuffer buffer(c.bufferSize != 0 ? c.bufferSize : static_cast<size_t>(c.capacity) + 1);
        EXPECT_EQ(c.result, action->Describe(0x5555, c.data.c_str(), buffer.data(), c.capacity));
        EXPECT_TRUE(buffer.GuardsIntact());
        if (c.result == S_OK)
        {
            EXPECT_EQ(c.text, buffer.Text());
            EXPECT_EQ(c.text.size() + 1, buffer.BytesWritten());
        }
        else
        {
            EXPECT_TRUE(buffer.Untouched());
        }
    }
}

TEST_F(RuleActionTest, DescribeRefusesNullPointersWhateverTheCapacity)
{
    const ULONG capacities[] = {0, 17, 259, 0xFFFFFFFFu};
    for (ULONG capacity : capacities)
    {
        SCOPED_TRACE(capacity);
        GuardedBuffer buffer(300);
        EXPECT_EQ(E_INVALIDARG, action->Describe(0, NULL, buffer.data(), capacity));
        EXPECT_EQ(E_INVALIDARG, action->Describe(0, "Work", NULL, capacity));
        EXPECT_EQ(E_INVALIDARG, action->Describe(0, NULL, NULL, capacity));
        EXPECT_TRUE(buffer.Untouched());
    }
}
