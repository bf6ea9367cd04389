#include "Analysers/FileUnicodeHTMAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
// Case-insensitive match of an ASCII text stored as UTF-16LE at off.
bool Utf16At(std::span<const uint8_t> d, size_t off, std::string_view s) {
    if (off > d.size() || s.size() * 2 > d.size() - off) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        uint8_t lo = d[off + 2 * i], c = static_cast<uint8_t>(s[i]);
        if (d[off + 2 * i + 1] != 0) return false;
        if (lo >= 'a' && lo <= 'z') lo = static_cast<uint8_t>(lo - 32);
        if (lo != c) return false;
    }
    return true;
}
}  // namespace

bool FileUnicodeHTMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, std::string_view("\xFF\xFE<\0", 4)), pInfo, 31);
}

// UTF-16LE page after a byte-order mark: it must open with the html tag (or a "<!" declaration
// with the tag in its first 500 bytes) and ends after its closing tag, or at a character that no
// text holds (0, a second byte-order mark, 0xFFFF).
bool FileUnicodeHTMAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto head = rd.Window(0, 512);
    if (head.empty()) return false;
    bool bOpen = Utf16At(head, 2, "<HTML>");
    if (!bOpen && Utf16At(head, 4, "!")) {
        for (size_t off = 0; off < 500 && !bOpen; off += 2) bOpen = Utf16At(head, off, "<HTML>");
    }
    if (!bOpen) return false;
    const uint64_t nLimit = std::min<uint64_t>(1u << 20, KivScanSettings::Get().nMaxCarvedSize);
    for (uint64_t off = 14; off < nLimit; off += 2) {
        if (off % 4096 == 0) KivPumpMessages();
        auto w = rd.Window(off, 14);
        if (w.empty()) {
            // Near the end of the data a closing tag no longer fits: look at the character alone.
            w = rd.Window(off, 2);
            if (w.empty()) return false;
        }
        uint16_t ch = static_cast<uint16_t>(w[0] | (w[1] << 8));
        if (ch == 0 || ch == 0xFEFF || ch == 0xFFFF) {
            pInfo->m_nSize = off;
            return true;
        }
        if (Utf16At(w, 0, "</HTML>")) {
            pInfo->m_nSize = off + 14;
            return true;
        }
    }
    return false;
}

IRawFileAnalyser* CreateFileUnicodeHTMAnalyser() { return new FileUnicodeHTMAnalyser; }
