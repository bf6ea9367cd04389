// Line reader of one user-defined header file (".fhs"): a short CR LF separated text whose lines
// are "FILEINFO: EXTNAME=...", "FILESIGN: OFFSET=... TYPE=... VALUE=..." or "REMARK: ...".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One signature item: the pattern bytes expected at an offset of a file's first sector.
struct KivSignItem {
    uint32_t nOffset = 0;
    uint32_t nLength = 0;
    std::vector<uint8_t> bytes;
};

class CScriptProcess {
public:
    static constexpr size_t kMaxFileSize = 1024;
    static constexpr uint32_t kMaxOffset = 496;
    static constexpr size_t kMaxItemLength = 16;
    static constexpr size_t kMaxExtLength = 16;

    // Reads the file; false when it cannot be read or is longer than kMaxFileSize.
    bool Open(const std::string& path);
    // Parses text already in memory (same rules as a file of that content).
    bool OpenText(std::string_view text);
    // Every line valid and the file short enough.
    bool IsValid() const;
    // The n-th line (0-based), trimmed; nothing past the last line.
    std::optional<std::string> GetLine(size_t n) const;
    // The "EXTNAME" of the first "FILEINFO" line (upper case, without quotes).
    bool GetExtName(std::string* pOut) const;
    // The next "FILESIGN" line at or after *pCursor, parsed; *pCursor moves past it.
    bool NextSign(size_t* pCursor, KivSignItem* pOut) const;

    // Line-level helpers, exposed for the checks of single lines.
    enum class Section { Invalid, FileInfo, FileSign, Remark };
    static Section SectionOf(std::string_view line);
    // The value of a key in a line, or empty when the key is missing or malformed.
    static std::string KeyValue(std::string_view line, std::string_view key);
    static bool ParseExtName(std::string_view line, std::string* pOut);
    static bool ParseSign(std::string_view line, KivSignItem* pOut);
    static bool IsLineValid(std::string_view line);

private:
    bool m_bOpen = false;
    bool m_bTooLong = false;
    std::vector<std::string> m_lines;
};
