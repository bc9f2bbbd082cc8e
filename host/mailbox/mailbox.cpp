#include "host/mailbox/mailbox.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace
{

bool SameTextNoCase(const std::string& left, const std::string& right)
{
    return lstrcmpiA(left.c_str(), right.c_str()) == 0;
}

std::string Trim(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
    {
        return std::string();
    }
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

} // namespace

std::string QuoteText(const std::string& text)
{
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '"' || c == '\\')
        {
            out += '\\';
            out += c;
        }
        else if (c == '\n')
        {
            out += "\\n";
        }
        else if (c == '\r')
        {
            out += "\\r";
        }
        else if (c == '\t')
        {
            out += "\\t";
        }
        else
        {
            out += c;
        }
    }
    return out + "\"";
}

// A value is either quoted (kept exactly, spaces included) or bare (trimmed).
bool UnquoteText(const std::string& raw, std::string* value)
{
    std::string text = Trim(raw);
    value->clear();
    if (text.empty() || text[0] != '"')
    {
        *value = text;
        return true;
    }
    for (size_t i = 1; i < text.size(); ++i)
    {
        char c = text[i];
        if (c == '"')
        {
            return i + 1 == text.size();
        }
        if (c == '\\')
        {
            if (++i == text.size())
            {
                return false;
            }
            switch (text[i])
            {
            case 'n': *value += '\n'; break;
            case 'r': *value += '\r'; break;
            case 't': *value += '\t'; break;
            default: *value += text[i]; break;
            }
        }
        else
        {
            *value += c;
        }
    }
    return false;
}

namespace
{

std::string Upper(const std::string& text)
{
    std::string out = text;
    for (size_t i = 0; i < out.size(); ++i)
    {
        if (out[i] >= 'a' && out[i] <= 'z')
        {
            out[i] = static_cast<char>(out[i] - 'a' + 'A');
        }
    }
    return out;
}

bool ParseHResult(const std::string& text, HRESULT* result)
{
    if (text.empty())
    {
        return false;
    }
    char* end = NULL;
    unsigned long value = strtoul(text.c_str(), &end, 0);
    if (end == NULL || *end != '\0')
    {
        return false;
    }
    *result = static_cast<HRESULT>(value);
    return true;
}

std::string HResultText(HRESULT result)
{
    char text[16];
    sprintf(text, "0x%08lX", static_cast<unsigned long>(result));
    return text;
}

} // namespace

const MailboxUserProperty* MailboxMessage::FindUserProperty(const std::string& name) const
{
    for (size_t i = 0; i < userProperties.size(); ++i)
    {
        if (SameTextNoCase(userProperties[i].name, name))
        {
            return &userProperties[i];
        }
    }
    return NULL;
}

MailboxUserProperty* MailboxMessage::FindUserProperty(const std::string& name)
{
    const MailboxMessage* self = this;
    return const_cast<MailboxUserProperty*>(self->FindUserProperty(name));
}

bool HexToBytes(const std::string& hex, std::vector<BYTE>* bytes)
{
    bytes->clear();
    if (hex.size() % 2 != 0)
    {
        return false;
    }
    for (size_t i = 0; i < hex.size(); i += 2)
    {
        int value = 0;
        for (size_t j = i; j < i + 2; ++j)
        {
            char c = hex[j];
            int digit;
            if (c >= '0' && c <= '9')
            {
                digit = c - '0';
            }
            else if (c >= 'a' && c <= 'f')
            {
                digit = c - 'a' + 10;
            }
            else if (c >= 'A' && c <= 'F')
            {
                digit = c - 'A' + 10;
            }
            else
            {
                bytes->clear();
                return false;
            }
            value = value * 16 + digit;
        }
        bytes->push_back(static_cast<BYTE>(value));
    }
    return true;
}

std::string BytesToHex(const BYTE* bytes, size_t count)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i)
    {
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

bool SameEntryId(const std::string& leftHex, const std::string& rightHex)
{
    std::vector<BYTE> left;
    std::vector<BYTE> right;
    return HexToBytes(leftHex, &left) && HexToBytes(rightHex, &right) && left == right;
}

const MailboxStore* Mailbox::FindStore(const std::string& entryIdHex) const
{
    for (size_t i = 0; i < stores.size(); ++i)
    {
        if (SameEntryId(stores[i].entryId, entryIdHex))
        {
            return &stores[i];
        }
    }
    return NULL;
}

const MailboxMessage* Mailbox::FindMessage(const std::string& entryIdHex) const
{
    for (size_t i = 0; i < messages.size(); ++i)
    {
        if (SameEntryId(messages[i].entryId, entryIdHex))
        {
            return &messages[i];
        }
    }
    return NULL;
}

MailboxMessage* Mailbox::FindMessage(const std::string& entryIdHex)
{
    const Mailbox* self = this;
    return const_cast<MailboxMessage*>(self->FindMessage(entryIdHex));
}

bool Mailbox::FindFailure(const std::string& method, HRESULT* result) const
{
    for (size_t i = 0; i < failures.size(); ++i)
    {
        if (SameTextNoCase(failures[i].method, method))
        {
            *result = failures[i].result;
            return true;
        }
    }
    return false;
}

std::string Mailbox::Format() const
{
    std::string out = "# Tallybook test mailbox (read and written by tb_rulehost and tb_mailserver)\n";
    for (size_t i = 0; i < failures.size(); ++i)
    {
        out += "fail " + failures[i].method + " " + HResultText(failures[i].result) + "\n";
    }
    for (size_t i = 0; i < stores.size(); ++i)
    {
        const MailboxStore& store = stores[i];
        out += "\nstore " + store.entryId + "\n";
        out += "  name = " + QuoteText(store.name) + "\n";
        out += std::string("  default = ") + (store.isDefault ? "yes" : "no") + "\n";
    }
    for (size_t i = 0; i < messages.size(); ++i)
    {
        const MailboxMessage& message = messages[i];
        out += "\nmessage " + message.entryId + "\n";
        out += "  store = " + message.storeId + "\n";
        out += std::string("  kind = ") + (message.isMail ? "mail" : "other") + "\n";
        out += "  subject = " + QuoteText(message.subject) + "\n";
        for (size_t j = 0; j < message.userProperties.size(); ++j)
        {
            out += "  user " + message.userProperties[j].name + " = " +
                   QuoteText(message.userProperties[j].value) + "\n";
        }
    }
    return out;
}

bool Mailbox::Parse(const std::string& text, std::string* error)
{
    Mailbox parsed;
    MailboxStore* store = NULL;
    MailboxMessage* message = NULL;
    size_t lineNumber = 0;
    size_t pos = 0;
    while (pos <= text.size())
    {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
        {
            end = text.size();
        }
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        char where[32];
        sprintf(where, "line %u: ", static_cast<unsigned>(lineNumber));

        std::string trimmed = Trim(line);
        if (trimmed.empty() || trimmed[0] == '#')
        {
            continue;
        }
        bool indented = line[0] == ' ' || line[0] == '\t';
        if (!indented)
        {
            store = NULL;
            message = NULL;
            size_t space = trimmed.find(' ');
            std::string keyword = trimmed.substr(0, space);
            std::string rest = space == std::string::npos ? std::string() : Trim(trimmed.substr(space));
            std::vector<BYTE> bytes;
            if (keyword == "fail")
            {
                size_t split = rest.find(' ');
                MailboxFailure failure;
                failure.method = rest.substr(0, split);
                if (split == std::string::npos || !ParseHResult(Trim(rest.substr(split)), &failure.result))
                {
                    *error = where + std::string("expected: fail <method> <hresult>");
                    return false;
                }
                parsed.failures.push_back(failure);
            }
            else if ((keyword == "store" || keyword == "message") && !rest.empty() && HexToBytes(rest, &bytes))
            {
                if (keyword == "store")
                {
                    MailboxStore added = {Upper(rest), std::string(), false};
                    parsed.stores.push_back(added);
                    store = &parsed.stores.back();
                }
                else
                {
                    MailboxMessage added;
                    added.entryId = Upper(rest);
                    added.isMail = true;
                    parsed.messages.push_back(added);
                    message = &parsed.messages.back();
                }
            }
            else
            {
                *error = where + std::string("expected: store <hex>, message <hex> or fail ...");
                return false;
            }
            continue;
        }

        size_t equals = trimmed.find('=');
        if (equals == std::string::npos || (store == NULL && message == NULL))
        {
            *error = where + std::string("expected: <key> = <value> under a store or message");
            return false;
        }
        std::string key = Trim(trimmed.substr(0, equals));
        std::string value;
        if (!UnquoteText(trimmed.substr(equals + 1), &value))
        {
            *error = where + std::string("unterminated quoted value");
            return false;
        }
        if (store != NULL && key == "name")
        {
            store->name = value;
        }
        else if (store != NULL && key == "default")
        {
            store->isDefault = value == "yes" || value == "true" || value == "1";
        }
        else if (message != NULL && key == "store")
        {
            message->storeId = Upper(value);
        }
        else if (message != NULL && key == "kind" && (value == "mail" || value == "other"))
        {
            message->isMail = value == "mail";
        }
        else if (message != NULL && key == "subject")
        {
            message->subject = value;
        }
        else if (message != NULL && key.compare(0, 5, "user ") == 0 && !Trim(key.substr(5)).empty())
        {
            MailboxUserProperty property = {Trim(key.substr(5)), value};
            message->userProperties.push_back(property);
        }
        else
        {
            *error = where + std::string("unknown key '") + key + "'";
            return false;
        }
    }
    *this = parsed;
    return true;
}

bool Mailbox::Load(const std::string& path, std::string* error)
{
    FILE* file = fopen(path.c_str(), "rb");
    if (file == NULL)
    {
        *error = "cannot open " + path;
        return false;
    }
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
    {
        text.append(chunk, got);
    }
    fclose(file);
    if (!Parse(text, error))
    {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

bool Mailbox::Save(const std::string& path, std::string* error) const
{
    std::string temporary = path + ".new";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (file == NULL)
    {
        *error = "cannot write " + temporary;
        return false;
    }
    std::string text = Format();
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    written = fclose(file) == 0 && written;
    if (!written || !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    {
        DeleteFileA(temporary.c_str());
        *error = "cannot replace " + path;
        return false;
    }
    return true;
}

Mailbox MakeDemoMailbox()
{
    Mailbox box;
    MailboxStore personal = {"0000000038A1BB1005E5101AA1BB08002B2A56C20001", "Personal Folders", true};
    MailboxStore archive = {"0000000038A1BB1005E5101AA1BB08002B2A56C20002", "Archive", false};
    box.stores.push_back(personal);
    box.stores.push_back(archive);

    struct Row
    {
        const char* subject;
        bool isMail;
        const char* group; // NULL: no "Group" property
    };
    const Row rows[] = {
        {"No Group property", true, NULL},
        {"Empty Group value", true, ""},
        {"Legacy collection value", true, "TB1 : Receipts"},
        {"Bare legacy prefix", true, "TB1 :"},
        {"Filed under another collection", true, "TB2 : Travel"},
        {"Some other text", true, "Personal"},
        {"Lower-case legacy prefix", true, "tb1 : receipts"},
        {"Meeting request (not a mail item)", false, NULL},
        {"Kept in the Archive store", true, NULL},
    };
    for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    {
        MailboxMessage message;
        char id[16];
        sprintf(id, "%04X", static_cast<unsigned>(i + 1));
        message.entryId = "00000000B7E3C0CF6E4A4D7B9F1C2D3E4F5A6B7C0701" + std::string(id);
        // The last one lies outside the default store, where the action cannot open it.
        message.storeId = i + 1 == sizeof(rows) / sizeof(rows[0]) ? archive.entryId : personal.entryId;
        message.isMail = rows[i].isMail;
        message.subject = rows[i].subject;
        if (rows[i].group != NULL)
        {
            MailboxUserProperty group = {"Group", rows[i].group};
            message.userProperties.push_back(group);
        }
        box.messages.push_back(message);
    }
    return box;
}
