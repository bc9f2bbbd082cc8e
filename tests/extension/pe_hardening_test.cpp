// The exploit mitigations that the built TB_RULE.dll asks the loader for, read from its headers.
#include <gtest/gtest.h>

#include "support/pe_image.h"
#include "support/rule_module.h"

namespace
{
const uint16_t kRelocsStripped = 0x0001;   // IMAGE_FILE_RELOCS_STRIPPED
const uint16_t kDynamicBase = 0x0040;      // IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE
const uint16_t kNxCompat = 0x0100;         // IMAGE_DLLCHARACTERISTICS_NX_COMPAT
const uint32_t kMemExecute = 0x20000000;   // IMAGE_SCN_MEM_EXECUTE
const uint32_t kMemWrite = 0x80000000;     // IMAGE_SCN_MEM_WRITE
} // namespace

TEST(PeHardeningTest, AsksForAslrAndDep)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    EXPECT_EQ(kDynamicBase, image.dllCharacteristics & kDynamicBase) << "DYNAMIC_BASE";
    EXPECT_EQ(kNxCompat, image.dllCharacteristics & kNxCompat) << "NX_COMPAT";
}

// ASLR can only move an image that still carries its base relocations.
TEST(PeHardeningTest, KeepsItsBaseRelocations)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    EXPECT_EQ(0, image.characteristics & kRelocsStripped);
    bool hasReloc = false;
    for (const PeSection& section : image.sections)
    {
        hasReloc = hasReloc || section.name == ".reloc";
    }
    EXPECT_TRUE(hasReloc);
}

TEST(PeHardeningTest, NoSectionIsBothWritableAndExecutable)
{
    PeImage image(RuleModulePath());
    ASSERT_TRUE(image.ok()) << image.error();
    ASSERT_FALSE(image.sections.empty());
    for (const PeSection& section : image.sections)
    {
        EXPECT_NE(kMemWrite | kMemExecute, section.characteristics & (kMemWrite | kMemExecute))
            << section.name << " is writable and executable";
    }
}
