#include "Analysers/FileOGGAnalyser.h"

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "Analysers/KivVorbisComment.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint8_t kContinued = 1, kFirst = 2, kLast = 4;
constexpr size_t kMaxStreams = 64;

// The CRC of Ogg pages: polynomial 0x04C11DB7, not reflected, starting at 0.
uint32_t OggCrc(uint32_t c, const uint8_t* p, size_t n) {
    static const auto table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int k = 0; k < 8; ++k) r = r & 0x80000000u ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[i] = r;
        }
        return t;
    }();
    for (size_t i = 0; i < n; ++i) c = (c << 8) ^ table[((c >> 24) ^ p[i]) & 0xFF];
    return c;
}

struct Page {
    uint8_t nFlags = 0;
    uint32_t nSerial = 0;
    uint64_t nLength = 0;
    uint64_t nBody = 0;  // offset of the page's data within the page
};

// The page at off when its header is sound and its CRC holds.
bool ReadPage(CRawFileReader& rd, uint64_t off, Page& pg) {
    uint8_t h[27 + 255];
    if (!rd.Read(off, h, 27) || !KivBytesAt(std::span<const uint8_t>(h, 27), 0, "OggS") || h[4] != 0 || (h[5] & ~7))
        return false;
    uint8_t nSegs = h[26];
    if (!rd.Read(off + 27, h + 27, nSegs)) return false;
    uint64_t nBody = 0;
    for (uint8_t i = 0; i < nSegs; ++i) nBody += h[27 + i];
    KivByteReader r(h, 27);
    pg.nFlags = h[5];
    pg.nSerial = r.U32At(14);
    pg.nBody = 27 + nSegs;
    pg.nLength = pg.nBody + nBody;
    uint32_t nStored = r.U32At(22);
    std::fill(h + 22, h + 26, 0);
    uint32_t c = OggCrc(0, h, size_t(pg.nBody));
    for (uint64_t p = off + pg.nBody, left = nBody; left;) {
        auto b = rd.Stream(p, left);
        if (b.empty()) return false;
        c = OggCrc(c, b.data(), b.size());
        p += b.size();
        left -= b.size();
    }
    return c == nStored;
}

}  // namespace

bool FileOGGAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    // A file begins with the first page of a stream, which holds the codec's identification.
    if (!KivBytesAt(sector, 0, "OggS") || sector[4] != 0 || (sector[5] & 7) != kFirst) return false;
    size_t nBody = 27 + size_t(sector[26]);
    if (KivBytesAt(sector, nBody, "OpusHead"))
        pInfo->m_nTypeId = 82;
    else if (KivBytesAt(sector, nBody, "\x01vorbis"))
        pInfo->m_nTypeId = 81;
    else
        return false;
    return true;
}

// Pages follow each other; the file ends with the page that ends the last stream that began in
// it. A page that is missing or fails its CRC ends the file before it, as one whose end was not
// found.
bool FileOGGAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    std::set<uint32_t> open;
    uint64_t pos = 0;
    bool bWhole = false;
    Page pg;
    for (uint64_t nPage = 0; pos < nCap; ++nPage) {
        if (nPage % 10 == 9) KivPumpMessages();
        if (!ReadPage(rd, pos, pg) || pg.nLength > nCap - pos) break;
        if (pg.nFlags & kFirst) {
            if (open.size() >= kMaxStreams || !open.insert(pg.nSerial).second) break;
        } else if (!open.count(pg.nSerial)) {
            break;
        }
        // The comment header is the second packet of a stream: on its second page in practice.
        if (nPage == 1 && m_strTitle.empty() && !(pg.nFlags & kContinued)) {
            std::vector<uint8_t> b(size_t(std::min<uint64_t>(pg.nLength - pg.nBody, 1u << 16)));
            if (rd.Read(pos + pg.nBody, b.data(), b.size())) {
                std::span<const uint8_t> d(b);
                if (KivBytesAt(d, 0, "\x03vorbis"))
                    m_strTitle = KivVorbisCommentTitle(d.subspan(7));
                else if (KivBytesAt(d, 0, "OpusTags"))
                    m_strTitle = KivVorbisCommentTitle(d.subspan(8));
            }
        }
        pos += pg.nLength;
        if (pg.nFlags & kLast) {
            open.erase(pg.nSerial);
            if (open.empty()) {
                bWhole = true;
                break;
            }
        }
    }
    if (pos == 0) return false;
    pInfo->m_nSize = pos;
    if (!bWhole) pInfo->m_nDamage = kCarveEndNotFound;
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileOGGAnalyser() { return new FileOGGAnalyser; }
