// The built DLL imports the MAPI utility functions under the names MAPI32.DLL really exports,
// and the test prefix's MAPI provider exports what mapi32 looks up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/pe_image.h"
#include "support/rule_module.h"

namespace
{
std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), ::toupper);
    return text;
}

std::string BesideTests(const char* file)
{
    std::string path = RuleModulePath();
    return path.substr(0, path.find_last_of("\\/") + 1) + file;
}
} // namespace

TEST(MapiImportTest, TheDllImportsTheDecoratedUtilityNamesFromMapi32)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    const PeImport* mapi = NULL;
    for (size_t i = 0; i < image.imports.size(); ++i)
    {
        if (Upper(image.imports[i].dll) == "MAPI32.DLL")
        {
            mapi = &image.imports[i];
        }
    }
    ASSERT_TRUE(mapi != NULL) << "TB_RULE.dll imports MAPI32.DLL";
    std::vector<std::string> names = mapi->functions;
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"FreeProws@4", "HexFromBin@12", "HrGetOneProp@12",
                                        "HrQueryAllRows@24", "MAPIFreeBuffer", "MAPIInitialize",
                                        "MAPIUninitialize"}),
              names);
}

TEST(MapiImportTest, TheProviderExportsTheNamesMapi32LooksUp)
{
    PeImage image(BesideTests("tb_mapi_provider.dll"));
    ASSERT_TRUE(image.ok()) << image.error();
    std::vector<std::string> names;
    for (size_t i = 0; i < image.exports.size(); ++i)
    {
        names.push_back(image.exports[i].name);
    }
    const char* const wanted[] = {"MAPIInitialize",    "MAPIUninitialize", "MAPIAllocateBuffer",
                                  "MAPIAllocateMore",  "MAPIFreeBuffer",   "HrQueryAllRows@24"};
    for (size_t i = 0; i < sizeof(wanted) / sizeof(wanted[0]); ++i)
    {
        EXPECT_NE(names.end(), std::find(names.begin(), names.end(), std::string(wanted[i])))
            << wanted[i];
    }
}
