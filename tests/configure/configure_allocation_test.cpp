// Configure in process with every allocation of the call made to fail in turn: each run ends
// with S_OK or E_OUTOFMEMORY, writes both host buffers or neither, and gives back every block
// it took (the dialog object included), whichever allocation failed. The dialog driver's
// helpers allocate nothing, so every allocation counted is the product's.
#include <gtest/gtest.h>

#include <new>
#include <stdio.h>
#include <stdlib.h>

#include "configure/host_site.h"
#include "extension/rule_action.h"
#include "support/dialog_driver.h"
#include "support/guarded_buffer.h"
#include "support/tallybook_key.h"

namespace
{
// Allocation bookkeeping for the whole program; failures only while armed.
long g_live = 0;
bool g_armed = false;
long g_countdown = 0; // the allocation that fails, counted from 1 while armed
long g_seen = 0;

void* Allocate(size_t size)
{
    if (g_armed)
    {
        ++g_seen;
        if (g_seen == g_countdown)
        {
            return NULL;
        }
    }
    void* block = malloc(size != 0 ? size : 1);
    if (block != NULL)
    {
        ++g_live;
    }
    return block;
}

void Free(void* block)
{
    if (block != NULL)
    {
        --g_live;
        free(block);
    }
}

} // namespace

void* operator new(size_t size)
{
    void* block = Allocate(size);
    if (block == NULL)
    {
        throw std::bad_alloc();
    }
    return block;
}
void* operator new[](size_t size)
{
    return operator new(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return Allocate(size);
}
void operator delete(void* block) noexcept
{
    Free(block);
}
void operator delete[](void* block) noexcept
{
    Free(block);
}
void operator delete(void* block, size_t) noexcept
{
    Free(block);
}
void operator delete[](void* block, size_t) noexcept
{
    Free(block);
}

namespace
{
const char kLongName[] = "Quarterly supplier notes"; // 24 characters: no short-string storage

struct Scenario
{
    const char* what;
    std::vector<DialogDriver::Action> actions;
    const char* name; // what a run without failures returns
};

void PickFirstEntry(HWND dialog)
{
    SelectEntry(dialog, 1000, 0);
    Click(dialog, IDOK);
}

void CreateThroughNew(HWND dialog)
{
    Click(dialog, 1002);
    Click(dialog, IDOK);
}

// Made before any run: a string built inside a run would be one of the counted allocations.
const std::string kTypedName("Travel receipts, 2026 Q3");

void TypeLongName(HWND dialog)
{
    TypeText(dialog, 1004, kTypedName);
    Click(dialog, IDOK);
}
} // namespace

TEST(ConfigureAllocationTest, EveryFailedAllocationEndsInOutOfMemoryAndLeaksNothing)
{
    const Scenario scenarios[] = {
        {"pick a listed collection", {&PickFirstEntry}, kLongName},
        {"create one with New >>", {&CreateThroughNew, &TypeLongName},
         "Travel receipts, 2026 Q3"},
    };
    HostWindow host;
    ASSERT_TRUE(host.handle() != NULL);
    IUnknown* unknown = ExchEntryPoint();
    ASSERT_TRUE(unknown != NULL);
    IRuleAction* action = static_cast<IRuleAction*>(unknown);

    // The library's temporary object for the host's window lives as long as that window: let
    // the first call make it, outside the counted runs.
    {
        tallybook_key::DeleteAll();
        CallLog log;
        CountingSite site(&log, host.handle());
        char name[256];
        char display[256];
        DialogDriver driver;
        driver.Then([](HWND dialog) { Click(dialog, IDCANCEL); });
        EXPECT_EQ(TYPE_E_OUTOFBOUNDS, action->Configure(&site, name, 255, display, 255));
    }
    // Nothing chosen: the dialog is deleted on that path too.
    {
        tallybook_key::StoreName(1, kLongName);
        CallLog log;
        log.Add("room for the site's one entry");
        log.Clear();
        CountingSite site(&log, host.handle());
        char name[256];
        char display[256];
        DialogDriver driver;
        driver.Then([](HWND dialog) {
            SelectEntry(dialog, 1000, 0);
            Click(dialog, IDCANCEL);
        });
        const long liveBefore = g_live;
        EXPECT_EQ(TYPE_E_OUTOFBOUNDS, action->Configure(&site, name, 255, display, 255));
        EXPECT_EQ(liveBefore, g_live) << "blocks not given back after Cancel";
    }

    for (const Scenario& scenario : scenarios)
    {
        SCOPED_TRACE(scenario.what);
        int outOfMemory = 0;
        bool completed = false;
        for (long failing = 1; failing < 200 && !completed; ++failing)
        {
            SCOPED_TRACE("allocation " + std::to_string(failing) + " fails");
            tallybook_key::DeleteAll();
            tallybook_key::StoreName(1, kLongName);
            CallLog log;
            log.Add("room for the site's one entry");
            log.Clear();
            CountingSite site(&log, host.handle());
            GuardedBuffer name(256);
            GuardedBuffer display(256);
            DialogDriver driver;
            for (const DialogDriver::Action& a : scenario.actions)
            {
                driver.Then(a);
            }

            const long liveBefore = g_live;
            g_seen = 0;
            g_countdown = failing;
            g_armed = true;
            const HRESULT result =
                action->Configure(&site, name.data(), 255, display.data(), 255);
            g_armed = false;
            const bool failed = g_seen >= failing;

            EXPECT_EQ(liveBefore, g_live) << "blocks not given back";
            EXPECT_TRUE(name.GuardsIntact());
            EXPECT_TRUE(display.GuardsIntact());
            if (failed)
            {
                EXPECT_EQ(E_OUTOFMEMORY, result);
                EXPECT_TRUE(name.Untouched());
                EXPECT_TRUE(display.Untouched());
                ++outOfMemory;
            }
            else
            {
                EXPECT_EQ(S_OK, result);
                EXPECT_EQ(scenario.name, name.Text());
                EXPECT_EQ(std::string("Add To Collection ") + scenario.name, display.Text());
                completed = true; // past the call's last allocation
            }
        }
        printf("%s: %d allocations failed in turn\n", scenario.what, outOfMemory);
        EXPECT_TRUE(completed);
        EXPECT_GT(outOfMemory, 3) << "the call allocates; each allocation was made to fail";
    }
    g_armed = false;
    unknown->Release();
    tallybook_key::DeleteAll();
}
