// The test mailbox: a plain-text store of message stores and messages that the rules-engine
// simulator and the automation server both read and write. One file, readable by a person:
//
//   # comment
//   fail GetItemFromID 0x8004010F       a scripted failure of the automation server
//   store 5442530001
//     name = "Personal Folders"
//     default = yes
//   message 544D0001
//     store = 5442530001
//     kind = mail                        mail | other (an item that is not a mail item)
//     subject = "Quarterly figures"
//     user Group = "TB1 : Accounts"     a user property, text in UTF-8
//
// Entry identifiers are written as hexadecimal text, the form the object model's GetItemFromID
// receives them in; MAPI sees their bytes.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

struct MailboxUserProperty
{
    std::string name;
    std::string value;
};

struct MailboxStore
{
    std::string entryId; // upper-case hexadecimal
    std::string name;
    bool isDefault;
};

struct MailboxMessage
{
    std::string entryId; // upper-case hexadecimal
    std::string storeId;
    bool isMail;
    std::string subject;
    std::vector<MailboxUserProperty> userProperties;

    // Null when the message has no user property of that name (names compare without case).
    const MailboxUserProperty* FindUserProperty(const std::string& name) const;
    MailboxUserProperty* FindUserProperty(const std::string& name);
};

// A failure the automation server plays back instead of doing its work, for tests.
struct MailboxFailure
{
    std::string method;
    HRESULT result;
};

class Mailbox
{
public:
    std::vector<MailboxStore> stores;
    std::vector<MailboxMessage> messages;
    std::vector<MailboxFailure> failures;

    // Replaces the contents with the file's. On failure the text says what and where.
    bool Load(const std::string& path, std::string* error);
    // Writes a new file beside the old one and moves it over, so a reader never sees half.
    bool Save(const std::string& path, std::string* error) const;

    std::string Format() const;
    bool Parse(const std::string& text, std::string* error);

    const MailboxStore* FindStore(const std::string& entryIdHex) const;
    const MailboxMessage* FindMessage(const std::string& entryIdHex) const;
    MailboxMessage* FindMessage(const std::string& entryIdHex);
    // True, with the result, when the method has a scripted failure.
    bool FindFailure(const std::string& method, HRESULT* result) const;
};

// Every row of the tagging rule: no "Group" property, an empty one, a legacy "TB1 :" value,
// a value of another collection, other text, a non-mail item; and a message in a second,
// non-default store.
Mailbox MakeDemoMailbox();

// Text as the mailbox writes values: in double quotes, with \" \\ \n \r \t escaped. Unquoting
// takes a quoted value exactly, or a bare one trimmed; false when a quote is not closed.
std::string QuoteText(const std::string& text);
bool UnquoteText(const std::string& raw, std::string* value);

// Hexadecimal text (either case) to bytes; false when the text is not an even run of digits.
bool HexToBytes(const std::string& hex, std::vector<BYTE>* bytes);
std::string BytesToHex(const BYTE* bytes, size_t count);
// Entry identifiers compare as bytes, so the case of their hexadecimal text does not matter.
bool SameEntryId(const std::string& leftHex, const std::string& rightHex);
