// The collection registry against the real registry of the test prefix. Each test starts
// from no Software\Tallybook key at all.
#include <gtest/gtest.h>

#include <aclapi.h>
#include <string.h>

#include "collections/collection_registry.h"
#include "support/guarded_buffer.h"
#include "support/tallybook_key.h"

namespace
{
class CollectionRegistryTest : public ::testing::Test
{
protected:
    void SetUp() { tallybook_key::DeleteAll(); }
    void TearDown() { tallybook_key::DeleteAll(); }
};

// Names read for 1, 2, 3, ... until the first read fails.
std::vector<std::string> Enumerate()
{
    std::vector<std::string> names;
    char name[40];
    for (int number = 1; ReadCollectionName(number, name); ++number)
    {
        names.push_back(name);
    }
    return names;
}

struct Stored
{
    int number;
    DWORD type;
    const char* bytes; // NULL: the key without a "Name" value
    DWORD size;
};

void StoreAll(const std::vector<Stored>& stored)
{
    for (const Stored& s : stored)
    {
        tallybook_key::StoreRaw(s.number, s.type, s.bytes, s.size);
    }
}

#define TB_SZ(text) REG_SZ, text, sizeof(text)
const char k29[] = "abcdefghijklmnopqrstuvwxyz012";
const char k30[] = "abcdefghijklmnopqrstuvwxyz0123";
} // namespace

TEST_F(CollectionRegistryTest, NoKeyAtAllMeansNoCollections)
{
    EXPECT_FALSE(tallybook_key::KeyExists("Software\\Tallybook"));
    EXPECT_TRUE(Enumerate().empty());
}

// One row per stored state: what an enumeration lists, and the read of one number in detail.
TEST_F(CollectionRegistryTest, ReadsWhatIsStoredAndStopsAtTheFirstFailure)
{
    struct Case
    {
        const char* what;
        std::vector<Stored> stored;
        std::vector<std::string> listed;
    };
    const DWORD dword = 0x64636261; // bytes "abcd", no NUL
    const DWORD small = 5;          // bytes 05 00 00 00
    const Case cases[] = {
        {"1, 2 and 4 stored, 3 missing",
         {{1, TB_SZ("Work")}, {2, TB_SZ("Home")}, {4, TB_SZ("Travel")}},
         {"Work", "Home"}},
        {"Group2 without a Name value",
         {{1, TB_SZ("Work")}, {2, REG_SZ, NULL, 0}, {3, TB_SZ("Home")}},
         {"Work"}},
        {"29 characters fit", {{1, TB_SZ(k29)}, {2, TB_SZ("Home")}}, {k29, "Home"}},
        {"30 characters do not", {{1, TB_SZ("Work")}, {2, TB_SZ(k30)}, {3, TB_SZ("Home")}},
         {"Work"}},
        {"the empty name is a name", {{1, REG_SZ, "", 1}, {2, TB_SZ("Home")}}, {"", "Home"}},
        {"REG_EXPAND_SZ is taken as it is", {{1, REG_EXPAND_SZ, "%TEMP%x", 8}}, {"%TEMP%x"}},
        {"REG_SZ stored without its NUL", {{1, REG_SZ, "Work", 4}}, {"Work"}},
        {"REG_SZ of 30 bytes without a NUL", {{1, REG_SZ, k30, 30}}, {}},
        {"REG_BINARY without a NUL", {{1, REG_BINARY, "Gym", 3}}, {"Gym"}},
        {"REG_BINARY of 30 bytes without a NUL", {{1, REG_BINARY, k30, 30}}, {}},
        {"REG_BINARY of no bytes", {{1, REG_BINARY, "", 0}}, {""}},
        {"REG_DWORD without a NUL byte",
         {{1, REG_DWORD, reinterpret_cast<const char*>(&dword), 4}},
         {"abcd"}},
        {"REG_DWORD holding a NUL byte",
         {{1, REG_DWORD, reinterpret_cast<const char*>(&small), 4}},
         {"\x05"}},
        {"a NUL inside the bytes ends the name", {{1, REG_BINARY, "Ab\0cd", 5}}, {"Ab"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        tallybook_key::DeleteAll();
        StoreAll(c.stored);
        EXPECT_EQ(c.listed, Enumerate());
    }
}

// The caller's buffer holds 30 bytes: a read never writes past them and always leaves a
// NUL-terminated name in them when it succeeds.
TEST_F(CollectionRegistryTest, ReadStaysWithinThirtyBytesAndTerminatesTheName)
{
    struct Case
    {
        const char* what;
        Stored stored;
        bool read;
        const char* name;
    };
    const Case cases[] = {
        {"29 characters", {1, TB_SZ(k29)}, true, k29},
        {"29 bytes without a NUL", {1, REG_BINARY, k29, 29}, true, k29},
        {"REG_SZ of 4 bytes without a NUL", {1, REG_SZ, "Work", 4}, true, "Work"},
        {"REG_BINARY of 3 bytes", {1, REG_BINARY, "Gym", 3}, true, "Gym"},
        {"30 bytes without a NUL", {1, REG_BINARY, k30, 30}, false, NULL},
        {"30 characters with their NUL", {1, TB_SZ(k30)}, false, NULL},
        {"a long REG_MULTI_SZ", {1, REG_MULTI_SZ, "abcdefghijklmnopqrstuvwxyz\0abcdefgh\0", 37},
         false, NULL},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        tallybook_key::DeleteAll();
        StoreAll(std::vector<Stored>(1, c.stored));
        GuardedBuffer buffer(30);
        EXPECT_EQ(c.read, ReadCollectionName(1, buffer.data()));
        EXPECT_TRUE(buffer.GuardsIntact());
        if (c.read)
        {
            EXPECT_TRUE(memchr(buffer.data(), '\0', buffer.size()) != NULL);
            EXPECT_STREQ(c.name, buffer.data());
        }
    }
}

TEST_F(CollectionRegistryTest, WriteCreatesTheKeysAndStoresTheNameWithItsNul)
{
    WriteCollectionName(1, "Work");
    WriteCollectionName(2, "");
    bool found = false;
    DWORD type = 0;
    EXPECT_EQ(std::string("Work\0", 5), tallybook_key::LoadRaw(1, &found, &type));
    EXPECT_TRUE(found);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
    EXPECT_EQ(std::string("\0", 1), tallybook_key::LoadRaw(2, &found, &type));
    EXPECT_EQ((std::vector<std::string>{"Work", ""}), Enumerate());
}

TEST_F(CollectionRegistryTest, WritingIntoTheGapMakesTheWholeRunVisible)
{
    StoreAll({{1, TB_SZ("Work")}, {2, TB_SZ("Home")}, {4, TB_SZ("Travel")}});
    WriteCollectionName(3, "Gym");
    EXPECT_EQ((std::vector<std::string>{"Work", "Home", "Gym", "Travel"}), Enumerate());
}

TEST_F(CollectionRegistryTest, NumbersAreWrittenInDecimalWithoutLeadingZeros)
{
    WriteCollectionName(10, "Ten");
    WriteCollectionName(7, "Seven");
    EXPECT_TRUE(tallybook_key::KeyExists("Software\\Tallybook\\Groups\\Group10"));
    EXPECT_FALSE(tallybook_key::KeyExists("Software\\Tallybook\\Groups\\Group010"));
    EXPECT_TRUE(tallybook_key::KeyExists("Software\\Tallybook\\Groups\\Group7"));
    EXPECT_FALSE(tallybook_key::KeyExists("Software\\Tallybook\\Groups\\Group07"));
    char name[40];
    ASSERT_TRUE(ReadCollectionName(10, name));
    EXPECT_STREQ("Ten", name);
}

TEST_F(CollectionRegistryTest, OverwriteReplacesOnlyTheName)
{
    tallybook_key::StoreName(1, "Work");
    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, tallybook_key::GroupPath(1).c_str(),
                                           0, KEY_ALL_ACCESS, &key));
    const DWORD other = 42;
    RegSetValueExA(key, "Other", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&other),
                   sizeof(other));
    RegCloseKey(key);

    WriteCollectionName(1, "Office");
    EXPECT_EQ("Office", tallybook_key::LoadName(1));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, tallybook_key::GroupPath(1).c_str(),
                                           0, KEY_READ, &key));
    DWORD value = 0;
    DWORD size = sizeof(value);
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "Other", NULL, NULL,
                                              reinterpret_cast<BYTE*>(&value), &size));
    RegCloseKey(key);
    EXPECT_EQ(42u, value);
}

TEST_F(CollectionRegistryTest, ANumberIsFreeOnlyWhenNoNameIsStoredUnderIt)
{
    StoreAll({{1, TB_SZ("Work")}, {2, REG_SZ, NULL, 0}, {3, TB_SZ(k30)}, {4, REG_DWORD, "abcd", 4}});
    EXPECT_FALSE(IsCollectionNumberFree(1));
    EXPECT_TRUE(IsCollectionNumberFree(2)) << "a key without a Name value holds no name";
    EXPECT_FALSE(IsCollectionNumberFree(3)) << "unreadable, but a name all the same";
    EXPECT_FALSE(IsCollectionNumberFree(4));
    EXPECT_TRUE(IsCollectionNumberFree(5));
    EXPECT_TRUE(IsCollectionNumberFree(10));
}

// A key the user may read but not write counts as missing for a read (it is opened with full
// access), and is never taken as free for a new collection.
TEST_F(CollectionRegistryTest, AKeyReadableButNotWritableCountsAsMissing)
{
    tallybook_key::StoreName(1, "Work");
    tallybook_key::StoreName(2, "Locked");
    tallybook_key::StoreName(3, "Home");

    HKEY key = NULL;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, tallybook_key::GroupPath(2).c_str(),
                                           0, KEY_ALL_ACCESS, &key));
    // Everyone may read; nobody may write.
    SID_IDENTIFIER_AUTHORITY world = {SECURITY_WORLD_SID_AUTHORITY};
    PSID everyone = NULL;
    ASSERT_TRUE(AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0,
                                         &everyone));
    EXPLICIT_ACCESSA access;
    memset(&access, 0, sizeof(access));
    access.grfAccessPermissions = KEY_READ;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    PACL acl = NULL;
    ASSERT_EQ(ERROR_SUCCESS, SetEntriesInAclA(1, &access, NULL, &acl));
    const DWORD set = SetSecurityInfo(key, SE_REGISTRY_KEY,
                                      DACL_SECURITY_INFORMATION |
                                          PROTECTED_DACL_SECURITY_INFORMATION,
                                      NULL, NULL, acl, NULL);
    RegCloseKey(key);

    HKEY probe = NULL;
    const LONG fullAccess = RegOpenKeyExA(HKEY_CURRENT_USER,
                                          tallybook_key::GroupPath(2).c_str(), 0,
                                          KEY_ALL_ACCESS, &probe);
    if (probe != NULL)
    {
        RegCloseKey(probe);
    }
    const bool enforced = set == ERROR_SUCCESS && fullAccess == ERROR_ACCESS_DENIED;
    if (enforced)
    {
        EXPECT_EQ((std::vector<std::string>{"Work"}), Enumerate());
        EXPECT_FALSE(IsCollectionNumberFree(2));
    }

    // Give the key back so it can be deleted.
    access.grfAccessPermissions = KEY_ALL_ACCESS;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, tallybook_key::GroupPath(2).c_str(), 0, WRITE_DAC,
                      &key) == ERROR_SUCCESS)
    {
        PACL open = NULL;
        if (SetEntriesInAclA(1, &access, NULL, &open) == ERROR_SUCCESS)
        {
            SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, NULL, NULL, open,
                            NULL);
            LocalFree(open);
        }
        RegCloseKey(key);
    }
    LocalFree(acl);
    FreeSid(everyone);
    if (!enforced)
    {
        GTEST_SKIP() << "this registry does not refuse writes to a read-only key (set " << set
                     << ", open " << fullAccess << ")";
    }
}
