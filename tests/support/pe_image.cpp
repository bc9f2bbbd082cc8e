#include "support/pe_image.h"

#include <fstream>
#include <iterator>
#include <string.h>

template <typename T> bool PeImage::Read(uint32_t offset, T* value) const
{
    if (offset > m_file.size() || m_file.size() - offset < sizeof(T))
    {
        return false;
    }
    memcpy(value, &m_file[offset], sizeof(T));
    return true;
}

PeImage::PeImage(const std::string& path)
    : machine(0), characteristics(0), optionalMagic(0), dllCharacteristics(0), m_ok(false)
{
    std::ifstream in(path.c_str(), std::ios::binary);
    if (!in)
    {
        m_error = "cannot open " + path;
        return;
    }
    m_file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    m_ok = Parse();
}

bool PeImage::RvaToOffset(uint32_t rva, uint32_t* offset) const
{
    for (size_t i = 0; i < m_raw.size(); ++i)
    {
        const RawSection& s = m_raw[i];
        const uint32_t span = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
        if (rva >= s.virtualAddress && rva - s.virtualAddress < span)
        {
            *offset = s.rawOffset + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

std::string PeImage::StringAt(uint32_t rva) const
{
    uint32_t offset = 0;
    if (!RvaToOffset(rva, &offset))
    {
        return std::string();
    }
    std::string text;
    while (offset < m_file.size() && m_file[offset] != 0)
    {
        text.push_back(static_cast<char>(m_file[offset++]));
    }
    return text;
}

bool PeImage::Parse()
{
    uint16_t mz = 0;
    uint32_t peOffset = 0;
    uint32_t signature = 0;
    if (!Read(0, &mz) || mz != 0x5A4D || !Read(0x3C, &peOffset) || !Read(peOffset, &signature) ||
        signature != 0x00004550)
    {
        m_error = "not a PE file";
        return false;
    }
    const uint32_t fileHeader = peOffset + 4;
    uint16_t sectionCount = 0;
    uint16_t optionalSize = 0;
    Read(fileHeader, &machine);
    Read(fileHeader + 2, &sectionCount);
    Read(fileHeader + 16, &optionalSize);
    Read(fileHeader + 18, &characteristics);

    const uint32_t optional = fileHeader + 20;
    Read(optional, &optionalMagic);
    if (optionalMagic != 0x10B)
    {
        m_error = "not a 32-bit image";
        return false;
    }
    Read(optional + 70, &dllCharacteristics);
    uint32_t exportRva = 0;
    uint32_t importRva = 0;
    Read(optional + 96, &exportRva);
    Read(optional + 104, &importRva);

    const uint32_t sectionTable = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i)
    {
        const uint32_t at = sectionTable + 40u * i;
        char name[9] = {0};
        RawSection raw = {0, 0, 0, 0};
        PeSection section;
        if (at + 40 > m_file.size())
        {
            m_error = "truncated section table";
            return false;
        }
        memcpy(name, &m_file[at], 8);
        Read(at + 8, &raw.virtualSize);
        Read(at + 12, &raw.virtualAddress);
        Read(at + 16, &raw.rawSize);
        Read(at + 20, &raw.rawOffset);
        Read(at + 36, &section.characteristics);
        section.name = name;
        sections.push_back(section);
        m_raw.push_back(raw);
    }

    uint32_t offset = 0;
    if (exportRva != 0 && RvaToOffset(exportRva, &offset))
    {
        uint32_t base = 0, functionCount = 0, nameCount = 0, functions = 0, names = 0, ordinals = 0;
        Read(offset + 16, &base);
        Read(offset + 20, &functionCount);
        Read(offset + 24, &nameCount);
        Read(offset + 28, &functions);
        Read(offset + 32, &names);
        Read(offset + 36, &ordinals);
        std::vector<std::string> byIndex(functionCount);
        uint32_t namesOffset = 0, ordinalsOffset = 0;
        if (nameCount != 0 && RvaToOffset(names, &namesOffset) && RvaToOffset(ordinals, &ordinalsOffset))
        {
            for (uint32_t i = 0; i < nameCount; ++i)
            {
                uint32_t nameRva = 0;
                uint16_t index = 0;
                Read(namesOffset + 4 * i, &nameRva);
                Read(ordinalsOffset + 2 * i, &index);
                if (index < functionCount)
                {
                    byIndex[index] = StringAt(nameRva);
                }
            }
        }
        uint32_t functionsOffset = 0;
        RvaToOffset(functions, &functionsOffset);
        for (uint32_t i = 0; i < functionCount; ++i)
        {
            uint32_t address = 0;
            Read(functionsOffset + 4 * i, &address);
            if (address != 0)
            {
                PeExport e;
                e.name = byIndex[i];
                e.ordinal = base + i;
                exports.push_back(e);
            }
        }
    }

    if (importRva != 0 && RvaToOffset(importRva, &offset))
    {
        for (;; offset += 20)
        {
            uint32_t lookup = 0, nameRva = 0, thunks = 0;
            if (!Read(offset, &lookup) || !Read(offset + 12, &nameRva) || !Read(offset + 16, &thunks))
            {
                break;
            }
            if (nameRva == 0)
            {
                break;
            }
            PeImport import;
            import.dll = StringAt(nameRva);
            uint32_t entry = 0;
            if (RvaToOffset(lookup != 0 ? lookup : thunks, &entry))
            {
                for (;; entry += 4)
                {
                    uint32_t value = 0;
                    if (!Read(entry, &value) || value == 0)
                    {
                        break;
                    }
                    if (value & 0x80000000u)
                    {
                        import.functions.push_back("#" + std::to_string(value & 0xFFFF));
                    }
                    else
                    {
                        import.functions.push_back(StringAt(value + 2));
                    }
                }
            }
            imports.push_back(import);
        }
    }
    return true;
}
