// How the built-in preview shows a file that is not a picture: as text when its start reads as
// text, else as the hexadecimal lines of its start. Both desktop programs decide it here.
#pragma once

#include <cstddef>
#include <string>

class CKivPreviewText {
public:
    static constexpr size_t kHexBytes = 64 * 1024;    // the start shown as bytes
    static constexpr size_t kTextBytes = 256 * 1024;  // the start shown as text

    // Valid UTF-8 without control characters other than blanks and line ends; a character cut
    // by the end of the sample still counts. An empty file is text.
    static bool LooksLikeText(const std::string& strHead);
    // "00000000  25 50 44 46 2d 31 2e 34  0a 25 ...  %PDF-1.4.%..." lines, '\n' after each.
    static std::string HexDump(const std::string& strBytes);
};
