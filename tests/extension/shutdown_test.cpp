// Shutdown gives back whatever the module-wide session and store still hold.
#include <gtest/gtest.h>

#include "extension/rule_action.h"
#include "support/mapi_fakes.h"

TEST(ShutdownTest, ReleasesTheStoreBeforeTheSessionAndForgetsBoth)
{
    CallLog log;
    FakeSession session(&log);
    FakeMsgStore store(&log);
    session.AddRef();
    store.AddRef();
    log.Clear();
    g_session = &session;
    g_store = &store;

    IUnknown* unknown = ExchEntryPoint();
    ASSERT_TRUE(unknown != NULL);
    IRuleAction* action = static_cast<IRuleAction*>(unknown);
    EXPECT_EQ(S_OK, action->Shutdown());

    EXPECT_TRUE(g_session == NULL);
    EXPECT_TRUE(g_store == NULL);
    EXPECT_EQ((std::vector<std::string>{"store.Release", "session.Release"}), log.entries());
    EXPECT_EQ(1, session.counter.refs());
    EXPECT_EQ(1, store.counter.refs());

    log.Clear();
    EXPECT_EQ(S_OK, action->Shutdown());
    EXPECT_TRUE(log.entries().empty()) << "a second Shutdown has nothing to release";
    EXPECT_EQ(0u, unknown->Release());
}

TEST(ShutdownTest, ReleasesWhicheverOfTheTwoIsHeld)
{
    CallLog log;
    FakeSession session(&log);
    session.AddRef();
    log.Clear();
    g_session = &session;
    g_store = NULL;

    IUnknown* unknown = ExchEntryPoint();
    ASSERT_TRUE(unknown != NULL);
    EXPECT_EQ(S_OK, static_cast<IRuleAction*>(unknown)->Shutdown());
    EXPECT_EQ((std::vector<std::string>{"session.Release"}), log.entries());
    EXPECT_TRUE(g_session == NULL);
    unknown->Release();
}
