// Reads the headers, sections, exports and imports of a PE file from disk.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

struct PeSection
{
    std::string name;
    uint32_t characteristics;
};

struct PeExport
{
    std::string name; // empty for an export by ordinal only
    uint32_t ordinal;
};

struct PeImport
{
    std::string dll;
    std::vector<std::string> functions; // "#<ordinal>" for imports by ordinal
};

class PeImage
{
public:
    // Parses the file; ok() tells whether it is a well-formed 32-bit PE image.
    explicit PeImage(const std::string& path);

    bool ok() const { return m_ok; }
    const std::string& error() const { return m_error; }

    uint16_t machine;
    uint16_t characteristics;
    uint16_t optionalMagic;
    uint16_t dllCharacteristics;
    std::vector<PeSection> sections;
    std::vector<PeExport> exports;
    std::vector<PeImport> imports;

private:
    bool Parse();
    bool RvaToOffset(uint32_t rva, uint32_t* offset) const;
    std::string StringAt(uint32_t rva) const;
    template <typename T> bool Read(uint32_t offset, T* value) const;

    struct RawSection
    {
        uint32_t virtualAddress;
        uint32_t virtualSize;
        uint32_t rawOffset;
        uint32_t rawSize;
    };

    std::vector<unsigned char> m_file;
    std::vector<RawSection> m_raw;
    bool m_ok;
    std::string m_error;
};
