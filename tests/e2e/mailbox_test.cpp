// The mailbox file keeps every "Group" value exactly, since the tagging rule turns on single
// characters (a trailing space, the case of a letter), and says where a file is wrong.
#include <gtest/gtest.h>

#include "host/mailbox/mailbox.h"

namespace
{

TEST(MailboxFile, KeepsValuesExactlyThroughFormatAndParse)
{
    const char* const values[] = {"", " ", "TB1 :", "TB1 ", "tb1 : x", "TB2 : Travel ", "quote \" and \\ back",
                                  "two\nlines\tand tab", "caf\xc3\xa9"};
    Mailbox box = MakeDemoMailbox();
    MailboxFailure failure = {"GetItemFromID", static_cast<HRESULT>(0x80040107)};
    box.failures.push_back(failure);
    MailboxMessage& message = box.messages[0];
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
    {
        MailboxUserProperty property = {"P" + std::to_string(i), values[i]};
        message.userProperties.push_back(property);
    }

    Mailbox read;
    std::string error;
    ASSERT_TRUE(read.Parse(box.Format(), &error)) << error;

    EXPECT_EQ(box.Format(), read.Format());
    ASSERT_EQ(box.messages.size(), read.messages.size());
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); ++i)
    {
        const MailboxUserProperty* property = read.messages[0].FindUserProperty("p" + std::to_string(i));
        ASSERT_TRUE(property != NULL) << i;
        EXPECT_EQ(values[i], property->value) << i;
    }
    HRESULT scripted = S_OK;
    EXPECT_TRUE(read.FindFailure("getitemfromid", &scripted));
    EXPECT_EQ(static_cast<HRESULT>(0x80040107), scripted);
    EXPECT_TRUE(read.stores[0].isDefault);
    EXPECT_FALSE(read.stores[1].isDefault);
    EXPECT_FALSE(read.messages[read.messages.size() - 2].isMail);
}

TEST(MailboxFile, EntryIdentifiersMatchAsBytesWhateverTheCase)
{
    Mailbox box = MakeDemoMailbox();
    std::string lower = box.messages[1].entryId;
    for (size_t i = 0; i < lower.size(); ++i)
    {
        lower[i] = static_cast<char>(tolower(lower[i]));
    }
    EXPECT_EQ(&box.messages[1], box.FindMessage(lower));
    EXPECT_TRUE(box.FindMessage(lower + "0") == NULL);  // odd length: not hexadecimal
    EXPECT_TRUE(box.FindMessage(lower + "00") == NULL); // one byte more: another identifier
}

TEST(MailboxFile, SaysWhichLineIsWrong)
{
    struct Case
    {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"store 0A\n  default = yes\nmessage XYZ\n", "line 3: "},
        {"  name = \"orphan\"\n", "line 1: "},
        {"message 0B\n  subject = \"not closed\n", "line 2: unterminated"},
        {"message 0B\n  colour = red\n", "line 2: unknown key 'colour'"},
        {"fail GetItemFromID soon\n", "line 1: expected: fail"},
    };
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
    {
        Mailbox box = MakeDemoMailbox();
        std::string error;
        EXPECT_FALSE(box.Parse(cases[i].text, &error)) << i;
        EXPECT_EQ(0u, error.find(cases[i].error)) << i << ": " << error;
        EXPECT_EQ(MakeDemoMailbox().Format(), box.Format()) << i; // left as it was
    }
}

} // namespace
