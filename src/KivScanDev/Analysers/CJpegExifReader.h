// Reads the few camera texts the carver names photos by from an EXIF block (the data of a JPEG
// APP1 segment). Stops at the first inconsistency and keeps its text.
#pragma once

#include <cstdint>
#include <span>
#include <string>

class CJpegExifReader {
public:
    // block: the APP1 data starting with "Exif" 00 00. True when the whole block read without error.
    bool Parse(std::span<const uint8_t> block);

    const std::string& Error() const { return m_strError; }  // empty after a clean read
    // Texts as UTF-8 (bytes above 0x7F taken as Latin-1), cut at the first zero, trailing blanks removed.
    std::string m_strVersion;    // 4 characters
    std::string m_strMaker;      // 31
    std::string m_strModel;      // 39
    std::string m_strOriginal;   // date-time original, 19
    std::string m_strDigitised;  // 19
    uint16_t m_nOrientation = 0;

private:
    bool ReadDirectory(uint32_t nOffset, int nDepth);
    bool Fail(const char* pszText);
    uint32_t Get32(size_t off) const;
    uint16_t Get16(size_t off) const;
    std::string Text(size_t off, size_t nMax) const;

    std::span<const uint8_t> m_tiff;  // the block after "Exif" 00 00
    bool m_bBigEndian = false;
    int m_nDirectories = 0;
    std::string m_strError;
};
