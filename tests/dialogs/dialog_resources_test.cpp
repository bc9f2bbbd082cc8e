// Dialogs 101 and 102 and the string table, read back from the built TB_RULE.dll in the
// languages it must carry them in, field by field.
#include <gtest/gtest.h>

#include <string.h>

#include "dialogs/resource.h"
#include "support/rule_module.h"

namespace
{
const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);   // 0x0409
const WORD kEnglishIe = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_EIRE); // 0x1809

const DWORD kChild = WS_CHILD | WS_VISIBLE;
const DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

// A name-or-ordinal field of a dialog template: text, or 0xFFFF and a number, or nothing.
struct NameOrOrdinal
{
    bool isOrdinal;
    WORD ordinal;
    std::string text;

    static NameOrOrdinal None() { return NameOrOrdinal{false, 0, ""}; }
    static NameOrOrdinal Ordinal(WORD value) { return NameOrOrdinal{true, value, ""}; }
    static NameOrOrdinal Text(const std::string& value) { return NameOrOrdinal{false, 0, value}; }
    bool operator==(const NameOrOrdinal& o) const
    {
        return isOrdinal == o.isOrdinal && ordinal == o.ordinal && text == o.text;
    }
};

std::ostream& operator<<(std::ostream& out, const NameOrOrdinal& value)
{
    if (value.isOrdinal)
    {
        return out << "#" << value.ordinal;
    }
    return out << "\"" << value.text << "\"";
}

struct Item
{
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    WORD id;
    NameOrOrdinal windowClass;
    NameOrOrdinal text;
    WORD extraBytes;
};

struct Dialog
{
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    NameOrOrdinal menu;
    NameOrOrdinal windowClass;
    std::string caption;
    WORD pointSize;
    std::string typeface;
    std::vector<Item> items;
};

// Reads a DLGTEMPLATE (not the extended form) and its items.
class TemplateReader
{
public:
    TemplateReader(const BYTE* data, DWORD size) : m_data(data), m_size(size), m_at(0), m_ok(true) {}
    bool ok() const { return m_ok && m_at <= m_size; }
    DWORD consumed() const { return m_at; }

    template <typename T> T Read()
    {
        T value = T();
        if (m_at + sizeof(T) > m_size)
        {
            m_ok = false;
            return value;
        }
        memcpy(&value, m_data + m_at, sizeof(T));
        m_at += sizeof(T);
        return value;
    }

    std::string ReadText()
    {
        std::string text;
        for (WORD c = Read<WORD>(); ok() && c != 0; c = Read<WORD>())
        {
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        return text;
    }

    NameOrOrdinal ReadNameOrOrdinal()
    {
        const WORD first = Read<WORD>();
        if (first == 0x0000)
        {
            return NameOrOrdinal::None();
        }
        if (first == 0xFFFF)
        {
            return NameOrOrdinal::Ordinal(Read<WORD>());
        }
        m_at -= sizeof(WORD);
        return NameOrOrdinal::Text(ReadText());
    }

    void AlignToDword() { m_at = (m_at + 3) & ~3u; }
    void Skip(DWORD bytes) { m_at += bytes; }

private:
    const BYTE* m_data;
    DWORD m_size;
    DWORD m_at;
    bool m_ok;
};

Dialog ParseDialog(const BYTE* data, DWORD size, bool* ok)
{
    TemplateReader reader(data, size);
    Dialog dialog;
    dialog.style = reader.Read<DWORD>();
    dialog.exStyle = reader.Read<DWORD>();
    const WORD count = reader.Read<WORD>();
    dialog.x = reader.Read<short>();
    dialog.y = reader.Read<short>();
    dialog.cx = reader.Read<short>();
    dialog.cy = reader.Read<short>();
    dialog.menu = reader.ReadNameOrOrdinal();
    dialog.windowClass = reader.ReadNameOrOrdinal();
    dialog.caption = reader.ReadText();
    dialog.pointSize = 0;
    if (dialog.style & DS_SETFONT)
    {
        dialog.pointSize = reader.Read<WORD>();
        dialog.typeface = reader.ReadText();
    }
    for (WORD i = 0; i < count && reader.ok(); ++i)
    {
        reader.AlignToDword();
        Item item;
        item.style = reader.Read<DWORD>();
        item.exStyle = reader.Read<DWORD>();
        item.x = reader.Read<short>();
        item.y = reader.Read<short>();
        item.cx = reader.Read<short>();
        item.cy = reader.Read<short>();
        item.id = reader.Read<WORD>();
        item.windowClass = reader.ReadNameOrOrdinal();
        item.text = reader.ReadNameOrOrdinal();
        item.extraBytes = reader.Read<WORD>();
        reader.Skip(item.extraBytes);
        dialog.items.push_back(item);
    }
    *ok = reader.ok() && dialog.items.size() == count;
    return dialog;
}

const WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082, kListBox = 0x0083;

void ExpectItem(const Item& actual, const Item& expected, size_t order)
{
    SCOPED_TRACE("control " + std::to_string(order + 1));
    EXPECT_EQ(expected.style, actual.style);
    EXPECT_EQ(expected.exStyle, actual.exStyle);
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.cx, actual.cx);
    EXPECT_EQ(expected.cy, actual.cy);
    EXPECT_EQ(expected.id, actual.id);
    EXPECT_EQ(expected.windowClass, actual.windowClass);
    EXPECT_EQ(expected.text, actual.text);
    EXPECT_EQ(expected.extraBytes, actual.extraBytes);
}

void ExpectDialog(const Dialog& actual, const Dialog& expected)
{
    EXPECT_EQ(expected.style, actual.style);
    EXPECT_EQ(expected.exStyle, actual.exStyle);
    EXPECT_EQ(expected.x, actual.x);
    EXPECT_EQ(expected.y, actual.y);
    EXPECT_EQ(expected.cx, actual.cx);
    EXPECT_EQ(expected.cy, actual.cy);
    EXPECT_EQ(expected.menu, actual.menu);
    EXPECT_EQ(expected.windowClass, actual.windowClass);
    EXPECT_EQ(expected.caption, actual.caption);
    EXPECT_EQ(expected.pointSize, actual.pointSize);
    EXPECT_EQ(expected.typeface, actual.typeface);
    ASSERT_EQ(expected.items.size(), actual.items.size());
    for (size_t i = 0; i < expected.items.size(); ++i)
    {
        ExpectItem(actual.items[i], expected.items[i], i);
    }
}

class DialogResourcesTest : public ::testing::Test
{
protected:
    void SetUp()
    {
        m_module = LoadLibraryExA(RuleModulePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_TRUE(m_module != NULL) << RuleModulePath();
    }
    void TearDown()
    {
        if (m_module != NULL)
        {
            FreeLibrary(m_module);
        }
    }

    // The bytes of one resource in exactly this language, or an empty vector.
    std::vector<BYTE> Load(LPCSTR type, WORD id, WORD language)
    {
        HRSRC found = FindResourceExA(m_module, type, MAKEINTRESOURCEA(id), language);
        if (found == NULL)
        {
            return std::vector<BYTE>();
        }
        const DWORD size = SizeofResource(m_module, found);
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(m_module, found)));
        return data != NULL ? std::vector<BYTE>(data, data + size) : std::vector<BYTE>();
    }

    std::vector<WORD> Languages(LPCSTR type, WORD id)
    {
        std::vector<WORD> languages;
        EnumResourceLanguagesA(m_module, type, MAKEINTRESOURCEA(id), &CollectLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        return languages;
    }

    std::vector<WORD> Names(LPCSTR type)
    {
        std::vector<WORD> names;
        EnumResourceNamesA(m_module, type, &CollectName, reinterpret_cast<LONG_PTR>(&names));
        return names;
    }

    Dialog LoadDialog(WORD id, WORD language)
    {
        std::vector<BYTE> bytes = Load(RT_DIALOG, id, language);
        Dialog dialog = Dialog();
        if (bytes.empty())
        {
            ADD_FAILURE() << "dialog " << id << " not found in language " << language;
            return dialog;
        }
        bool ok = false;
        dialog = ParseDialog(&bytes[0], static_cast<DWORD>(bytes.size()), &ok);
        EXPECT_TRUE(ok) << "dialog " << id << " is not a well-formed template";
        return dialog;
    }

    HMODULE m_module;

private:
    static BOOL CALLBACK CollectLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR out)
    {
        reinterpret_cast<std::vector<WORD>*>(out)->push_back(language);
        return TRUE;
    }
    static BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR out)
    {
        reinterpret_cast<std::vector<WORD>*>(out)->push_back(
            IS_INTRESOURCE(name) ? LOWORD(reinterpret_cast<ULONG_PTR>(name)) : 0xFFFF);
        return TRUE;
    }
};
} // namespace

TEST_F(DialogResourcesTest, TheModuleHoldsDialogs101And102InTheirLanguagesOnly)
{
    EXPECT_EQ((std::vector<WORD>{101, 102}), Names(RT_DIALOG));
    EXPECT_EQ((std::vector<WORD>{kEnglishUs}), Languages(RT_DIALOG, 101));
    EXPECT_EQ((std::vector<WORD>{kEnglishIe}), Languages(RT_DIALOG, 102));
}

TEST_F(DialogResourcesTest, SelectCollectionDialogIsLaidOutAsDesigned)
{
    Dialog expected;
    expected.style = kDialogStyle;
    expected.exStyle = 0;
    expected.x = 40;
    expected.y = 30;
    expected.cx = 214;
    expected.cy = 130;
    expected.menu = NameOrOrdinal::None();
    expected.windowClass = NameOrOrdinal::None();
    expected.caption = "Set Tallybook Inbox Collection";
    expected.pointSize = 8;
    expected.typeface = "MS Sans Serif";
    expected.items = {
        {kChild | BS_DEFPUSHBUTTON | WS_TABSTOP | WS_DISABLED, 0, 157, 11, 50, 14, IDOK,
         NameOrOrdinal::Ordinal(kButton), NameOrOrdinal::Text("OK"), 0},
        {kChild | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER |
             WS_TABSTOP,
         0, 14, 36, 128, 81, 1000, NameOrOrdinal::Ordinal(kListBox), NameOrOrdinal::Text(""), 0},
        {kChild | SS_CENTER | WS_GROUP, 0, 14, 16, 127, 16, 0xFFFF,
         NameOrOrdinal::Ordinal(kStatic),
         NameOrOrdinal::Text(
             "Select the collection to file these messages under, or create a new one."),
         0},
        {kChild | BS_GROUPBOX, 0, 7, 7, 141, 116, 0xFFFF, NameOrOrdinal::Ordinal(kButton),
         NameOrOrdinal::Text("Tallybook Collection"), 0},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 157, 31, 50, 14, IDCANCEL,
         NameOrOrdinal::Ordinal(kButton), NameOrOrdinal::Text("Cancel"), 0},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 157, 51, 50, 14, 1002,
         NameOrOrdinal::Ordinal(kButton), NameOrOrdinal::Text("New >>"), 0},
    };
    ExpectDialog(LoadDialog(101, kEnglishUs), expected);
    EXPECT_EQ(1000, IDC_COLLECTION_LIST);
    EXPECT_EQ(1002, IDC_NEW_COLLECTION);
}

TEST_F(DialogResourcesTest, NewCollectionDialogIsLaidOutAsDesigned)
{
    Dialog expected;
    expected.style = kDialogStyle;
    expected.exStyle = 0;
    expected.x = 30;
    expected.y = 20;
    expected.cx = 160;
    expected.cy = 95;
    expected.menu = NameOrOrdinal::None();
    expected.windowClass = NameOrOrdinal::None();
    expected.caption = "New Inbox Collection";
    expected.pointSize = 8;
    expected.typeface = "MS Sans Serif";
    expected.items = {
        {kChild | BS_GROUPBOX, 0, 7, 7, 146, 56, 0xFFFF, NameOrOrdinal::Ordinal(kButton),
         NameOrOrdinal::Text("Collection Name"), 0},
        {kChild | SS_CENTER | WS_GROUP, 0, 13, 17, 134, 18, 0xFFFF,
         NameOrOrdinal::Ordinal(kStatic),
         NameOrOrdinal::Text(
             "Type in the name of the new Inbox Collection that you want to create."),
         0},
        {kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 13, 42, 132, 14, 1004,
         NameOrOrdinal::Ordinal(kEdit), NameOrOrdinal::Text(""), 0},
        {kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 24, 74, 50, 14, IDOK,
         NameOrOrdinal::Ordinal(kButton), NameOrOrdinal::Text("OK"), 0},
        {kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 79, 74, 50, 14, IDCANCEL,
         NameOrOrdinal::Ordinal(kButton), NameOrOrdinal::Text("Cancel"), 0},
    };
    ExpectDialog(LoadDialog(102, kEnglishIe), expected);
    EXPECT_EQ(1004, IDC_COLLECTION_NAME);
}

// String 1 lives in block 1 (strings 0-15), which must hold nothing else, in English (Ireland)
// and no other language.
TEST_F(DialogResourcesTest, StringTableHoldsOnlyString1InEnglishIreland)
{
    EXPECT_EQ((std::vector<WORD>{1}), Names(RT_STRING));
    EXPECT_EQ((std::vector<WORD>{kEnglishIe}), Languages(RT_STRING, 1));
    const std::vector<BYTE> block = Load(RT_STRING, 1, kEnglishIe);
    ASSERT_FALSE(block.empty());
    size_t at = 0;
    for (int index = 0; index < 16; ++index)
    {
        SCOPED_TRACE("string " + std::to_string(index));
        ASSERT_LE(at + 2, block.size());
        WORD length = 0;
        memcpy(&length, &block[at], 2);
        at += 2;
        ASSERT_LE(at + 2u * length, block.size());
        std::string text;
        for (WORD i = 0; i < length; ++i)
        {
            WORD c = 0;
            memcpy(&c, &block[at + 2u * i], 2);
            text.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        }
        at += 2u * length;
        EXPECT_EQ(index == 1 ? "Add To Collection" : "", text);
    }
    EXPECT_EQ(block.size(), at) << "nothing after the sixteenth string";
    EXPECT_EQ(1, IDS_ADD_TO_COLLECTION);
}
