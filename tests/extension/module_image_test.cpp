// What the built TB_RULE.dll carries: its PE headers, export, imports and version resource.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <string>

#include "support/pe_image.h"
#include "support/rule_module.h"

namespace
{
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
} // namespace

TEST(ModuleImageTest, IsA32BitDllForI386)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    EXPECT_EQ(0x14C, image.machine) << "IMAGE_FILE_MACHINE_I386";
    EXPECT_EQ(0x10B, image.optionalMagic) << "PE32";
    EXPECT_NE(0, image.characteristics & 0x2000) << "IMAGE_FILE_DLL";
}

TEST(ModuleImageTest, ExportsOnlyExchEntryPointAsOrdinalOne)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_EQ(1u, image.exports.size());
    EXPECT_EQ("ExchEntryPoint", image.exports[0].name);
    EXPECT_EQ(1u, image.exports[0].ordinal);
}

TEST(ModuleImageTest, ImportsOnlySystemDlls)
{
    const std::set<std::string> allowed = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                           "advapi32.dll", "ole32.dll",    "oleaut32.dll",
                                           "mapi32.dll",   "msvcrt.dll"};
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_FALSE(image.imports.empty());
    for (const PeImport& import : image.imports)
    {
        EXPECT_EQ(1u, allowed.count(Lower(import.dll))) << "unexpected import " << import.dll;
    }
}

TEST(ModuleImageTest, VersionResourceIsEnglishIrelandWithTheProductStrings)
{
    RuleModule module;
    ASSERT_TRUE(module.handle() != NULL);
    HRSRC version = FindResourceExA(module.handle(), MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                                    MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_EIRE));
    ASSERT_TRUE(version != NULL) << "version resource 1 in language 0x1809";
    EXPECT_TRUE(FindResourceExA(module.handle(), MAKEINTRESOURCEA(16), MAKEINTRESOURCEA(1),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) == NULL);

    const std::string path = RuleModulePath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string data(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));

    VS_FIXEDFILEINFO* fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(&data[0], "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    EXPECT_EQ(0x00010005u, fixed->dwFileVersionMS);
    EXPECT_EQ(0x00000006u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010005u, fixed->dwProductVersionMS);
    EXPECT_EQ(0x00000006u, fixed->dwProductVersionLS);
    EXPECT_EQ(0x3Fu, fixed->dwFileFlagsMask);
    EXPECT_EQ(0u, fixed->dwFileFlags);
    EXPECT_EQ(static_cast<DWORD>(VOS_NT_WINDOWS32), fixed->dwFileOS);
    EXPECT_EQ(static_cast<DWORD>(VFT_DLL), fixed->dwFileType);
    EXPECT_EQ(0u, fixed->dwFileSubtype);

    WORD* translation = NULL;
    ASSERT_TRUE(VerQueryValueA(&data[0], "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(1200, translation[1]);

    struct Entry
    {
        const char* name;
        const char* value; // NULL: present, wording ours
    };
    const Entry entries[] = {
        {"CompanyName", "Tallybook Inc."},
        {"FileDescription", "Tallybook Custom Outlook Rules"},
        {"FileVersion", "1, 5, 0, 6"},
        {"InternalName", "TB Rules"},
        {"LegalCopyright", NULL},
        {"OriginalFilename", "TB_RULE.dll"},
        {"ProductName", "Tallybook For Outlook"},
        {"ProductVersion", "1, 5, 0, 6"},
        {"Comments", ""},
        {"LegalTrademarks", ""},
        {"PrivateBuild", ""},
        {"SpecialBuild", ""},
    };
    for (const Entry& e : entries)
    {
        SCOPED_TRACE(e.name);
        char* value = NULL;
        const std::string key = std::string("\\StringFileInfo\\040904b0\\") + e.name;
        ASSERT_TRUE(VerQueryValueA(&data[0], key.c_str(), reinterpret_cast<void**>(&value), &length));
        ASSERT_TRUE(value != NULL);
        if (e.value != NULL)
        {
            EXPECT_STREQ(e.value, value);
        }
        else
        {
            EXPECT_GT(strlen(value), 0u);
        }
    }
}
