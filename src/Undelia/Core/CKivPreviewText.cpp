#include "CKivPreviewText.h"

#include <cstdint>
#include <cstdio>

bool CKivPreviewText::LooksLikeText(const std::string& strHead) {
    const size_t n = strHead.size();
    size_t i = 0;
    while (i < n) {
        const auto c = static_cast<unsigned char>(strHead[i]);
        if (c < 0x80) {
            if (c < 0x20 && c != '\n' && c != '\r' && c != '\t' && c != '\f') return false;
            ++i;
            continue;
        }
        size_t nMore = 0;
        uint32_t cp = 0;
        if (c >= 0xc2 && c <= 0xdf) nMore = 1, cp = c & 0x1f;
        else if (c >= 0xe0 && c <= 0xef) nMore = 2, cp = c & 0x0f;
        else if (c >= 0xf0 && c <= 0xf4) nMore = 3, cp = c & 0x07;
        else return false;
        // The sample ends inside the character: what is there decides.
        const size_t nHave = n - i - 1 < nMore ? n - i - 1 : nMore;
        for (size_t k = 1; k <= nHave; ++k) {
            const auto b = static_cast<unsigned char>(strHead[i + k]);
            if ((b & 0xc0) != 0x80) return false;
            cp = (cp << 6) | (b & 0x3f);
        }
        if (nHave == nMore) {
            // Overlong forms, surrogates and code points past U+10FFFF are not text.
            if ((nMore == 2 && cp < 0x800) || (nMore == 3 && cp < 0x10000) || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff)
                return false;
        }
        i += 1 + nHave;
    }
    return true;
}

std::string CKivPreviewText::HexDump(const std::string& strBytes) {
    std::string out;
    out.reserve(strBytes.size() / 16 * 78 + 80);
    char buf[24];  // a 64-bit offset in hex, two spaces and the end
    for (size_t off = 0; off < strBytes.size(); off += 16) {
        std::snprintf(buf, sizeof buf, "%08llx  ", static_cast<unsigned long long>(off));
        out += buf;
        std::string text;
        for (size_t i = off; i < off + 16; ++i) {
            if (i < strBytes.size()) {
                const auto b = static_cast<unsigned char>(strBytes[i]);
                std::snprintf(buf, sizeof buf, "%02x ", static_cast<unsigned>(b));
                out += buf;
                text += (b >= 0x20 && b < 0x7f) ? static_cast<char>(b) : '.';
            } else {
                out += "   ";
            }
            if (i == off + 7) out += ' ';
        }
        out += ' ';
        out += text;
        out += '\n';
    }
    return out;
}
