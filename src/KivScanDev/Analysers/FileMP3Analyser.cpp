#include "Analysers/FileMP3Analyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr size_t kMaxText = 259;
constexpr uint64_t kMaxSkip = 65536;

// Cuts UTF-8 text to at most n characters.
void CutText(std::string& s, size_t n) {
    size_t nChars = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if ((uint8_t(s[i]) & 0xC0) != 0x80 && nChars++ == n) {
            s.resize(i);
            return;
        }
    }
}

std::string Latin1ToUtf8(std::span<const uint8_t> b) {
    std::u16string w;
    for (uint8_t c : b) {
        if (c == 0) break;
        w.push_back(c);
    }
    return KivUtf16ToUtf8(w);
}

// Text of an ID3v2 text frame: encoding byte, then the text.
std::string FrameText(std::span<const uint8_t> data) {
    if (data.empty()) return {};
    uint8_t enc = data[0];
    auto b = data.subspan(1);
    std::string s;
    if (enc == 0) {
        s = Latin1ToUtf8(b);
    } else if (enc == 1 && b.size() >= 2 && (b[0] == 0xFF || b[0] == 0xFE) && (b[1] ^ b[0]) == 0x01) {
        bool bBig = b[0] == 0xFE;
        std::u16string w;
        for (size_t i = 2; i + 1 < b.size(); i += 2) {
            char16_t c = bBig ? char16_t(b[i] << 8 | b[i + 1]) : char16_t(b[i + 1] << 8 | b[i]);
            if (c == 0) break;
            w.push_back(c);
        }
        s = KivUtf16ToUtf8(w);
    } else if (enc == 3) {
        auto z = std::find(b.begin(), b.end(), uint8_t(0));
        s = KivUtf16ToUtf8(KivUtf8ToUtf16(std::string_view(reinterpret_cast<const char*>(b.data()), z - b.begin())));
    }
    CutText(s, kMaxText);
    return s;
}

}  // namespace

uint32_t FileMP3Analyser::FrameLength(const uint8_t* h) {
    static const uint16_t kRates[2][3][16] = {
        // MPEG-1: layer I, II, III
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        // MPEG-2 and 2.5: layer I, then II and III
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    static const uint32_t kSampleRates[3] = {44100, 48000, 32000};
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0) return 0;
    unsigned nVersion = (h[1] >> 3) & 3;  // 0: 2.5, 1: reserved, 2: 2, 3: 1
    unsigned nLayerBits = (h[1] >> 1) & 3;  // 1: III, 2: II, 3: I
    unsigned nRateIdx = h[2] >> 4, nFreqIdx = (h[2] >> 2) & 3, nPad = (h[2] >> 1) & 1;
    unsigned nMode = h[3] >> 6, nEmphasis = h[3] & 3;
    if (nVersion == 1 || nLayerBits == 0 || nRateIdx == 0 || nRateIdx == 15 || nFreqIdx == 3 || nEmphasis == 2)
        return 0;
    const bool bV1 = nVersion == 3;
    const unsigned nLayer = 4 - nLayerBits;
    const uint32_t nKbps = kRates[bV1 ? 0 : 1][nLayer - 1][nRateIdx];
    if (bV1 && nLayer == 2) {
        // Layer II forbids low rates with two channels and high rates with one.
        bool bMono = nMode == 3;
        if ((bMono && nKbps >= 224) || (!bMono && (nKbps == 32 || nKbps == 48 || nKbps == 56 || nKbps == 80))) return 0;
    }
    uint32_t nRate = kSampleRates[nFreqIdx] >> (bV1 ? 0 : nVersion == 2 ? 1 : 2);
    uint32_t nBps = nKbps * 1000;
    if (nLayer == 1) return (12 * nBps / nRate + nPad) * 4;
    uint32_t nCoef = (nLayer == 3 && !bV1) ? 72 : 144;
    return nCoef * nBps / nRate + nPad;
}

bool FileMP3Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    if (!KivBytesAt(sector, 0, "ID3") || sector.size() < 4 || (sector[3] != 3 && sector[3] != 4)) return false;
    pInfo->m_nTypeId = 41;
    return true;
}

bool FileMP3Analyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    const uint64_t nSectorSize = pStor ? std::max<uint32_t>(pStor->GetSectorSize(), 1) : 512;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);

    auto h = rd.Window(0, 10);
    if (h.empty() || !KivBytesAt(h, 0, "ID3")) return false;
    const uint8_t nMajor = h[3];
    uint64_t nTag = 0;
    for (size_t i = 6; i < 10; ++i) {
        if (h[i] & 0x80) return false;
        nTag = nTag << 7 | h[i];
    }
    const uint64_t nTagEnd = nTag + 10;

    // Text frames inside the tag; version 4 counts frame sizes in 7-bit bytes.
    for (uint64_t pos = 10, nStep = 1; pos + 10 <= nTagEnd; ++nStep) {
        auto fh = rd.Window(pos, 10);
        if (fh.empty()) break;
        KivByteReader f(fh);
        uint32_t nSize = f.U32BEAt(4);
        if (nMajor == 4) nSize = (nSize & 0x7F) | (nSize >> 8 & 0x7F) << 7 | (nSize >> 16 & 0x7F) << 14 | (nSize >> 24 & 0x7F) << 21;
        if (nSize == 0) break;
        std::string id(fh.begin(), fh.begin() + 4);
        if (id == "TIT2" || id == "TYER") {
            auto data = rd.Window(pos + 10, std::min<uint64_t>(nSize, 4 * (kMaxText + 1) + 3));
            std::string& dst = id == "TIT2" ? m_strTitle : m_strDetail;
            if (!data.empty()) dst = FrameText(data);
        }
        pos += 10 + uint64_t(nSize);
        if (nStep % 16 == 0) KivPumpMessages();
    }

    // Audio frames. A frame directly after the previous one (or after the tag) is taken as it
    // stands; one found after skipped bytes must be followed by another frame, so that stray sync
    // patterns in what follows the song do not stretch it.
    bool bAudio = false;
    uint64_t nEnd = nTagEnd, pos = nTagEnd, nSkipped = 0, nSteps = 0;
    while (pos <= nCap && nSkipped < kMaxSkip) {
        if (++nSteps % 16 == 0) KivPumpMessages();
        uint8_t b[4];
        if (!rd.Read(pos, b, 4)) break;
        if (b[0] == 'T' && b[1] == 'A' && b[2] == 'G') {
            // An ID3v1 tag closes the song: right after its last frame, or where it ends the
            // sector or is followed by nothing but zeros in it.
            uint64_t nTagEnd1 = pos + 128;
            bool bEnds = (bAudio && pos == nEnd) || nTagEnd1 % nSectorSize == 0;
            if (!bEnds) {
                uint64_t nRest = nSectorSize - nTagEnd1 % nSectorSize;
                auto rest = rd.Window(nTagEnd1, nRest);
                bEnds = !rest.empty() && std::all_of(rest.begin(), rest.end(), [](uint8_t c) { return c == 0; });
            }
            auto v1 = bEnds ? rd.Window(pos, 128) : std::span<const uint8_t>();
            if (!v1.empty()) {
                if (m_strTitle.empty()) m_strTitle = Latin1ToUtf8(v1.subspan(3, 30));
                if (m_strDetail.empty()) m_strDetail = Latin1ToUtf8(v1.subspan(93, 4));
                nEnd = nTagEnd1;
                break;
            }
        }
        if (b[0] == 'I' && b[1] == 'D' && b[2] == '3' && (b[3] == 3 || b[3] == 4) && pos % nSectorSize == 0) break;
        uint32_t nLen = b[0] == 0xFF && b[1] >= 0xE0 && b[2] <= 0xEF ? FrameLength(b) : 0;
        if (nLen && pos != nEnd) {
            uint8_t n[4];
            if (!rd.Read(pos + nLen, n, 4) || !FrameLength(n)) nLen = 0;
        }
        if (nLen) {
            bAudio = true;
            pos = nEnd = pos + nLen;
            nSkipped = 0;
        } else {
            ++pos;
            ++nSkipped;
        }
    }
    if (!bAudio) return false;
    pInfo->m_nSize = std::min(nEnd, nCap);
    pInfo->m_strTitle = m_strTitle;
    pInfo->m_strDetail = m_strDetail;
    return true;
}

IRawFileAnalyser* CreateFileMP3Analyser() { return new FileMP3Analyser; }
