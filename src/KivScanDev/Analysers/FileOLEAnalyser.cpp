#include "Analysers/FileOLEAnalyser.h"

#include <algorithm>
#include <array>
#include <string>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE;
constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// Name of a 128-byte directory entry (UTF-16, at most 31 characters before the terminator).
std::u16string EntryName(std::span<const uint8_t> entry) {
    KivByteReader r(entry);
    std::u16string name;
    for (size_t i = 0; i < 32; ++i) {
        char16_t c = r.U16At(2 * i);
        if (c == 0) break;
        name.push_back(c);
    }
    return name;
}

// The file type told by the names of the first four directory entries (entry 0 is the root).
uint32_t TypeOfEntries(const std::array<std::u16string, 4>& e, std::span<const uint8_t> root, uint64_t& nSize) {
    uint32_t nType = 39;
    for (const auto& n : e)
        if (n == u"WordDocument" || n == u"ObjectPool") nType = 21;
    if (e[1] == u"PowerPoint Document" || e[2] == u"PowerPoint Document" || e[3] == u"PowerPoint Document")
        nType = 48;
    else if (e[1] == u"Workbook" || e[1] == u"Book" || e[2] == u"Workbook" || e[2] == u"Book")
        nType = 67;
    if (e[1] == u"Scene") nType = 35;
    if (e[1] == u"Pictures" || e[1] == u"PP40") nType = 48;
    if (e[1] == u"VisioDocument") {
        nType = 62;
        nSize += 1024;
    }
    if (e[1] == u"PerfectOffice_MAIN" && e[2] == u"PerfectOffice_OBJECTS") {
        if (e[3] == u"\x05SummaryInformation") {
            nType = 57;
        } else {
            bool bZeroClass = true;
            for (size_t i = 80; i < 96; ++i) bZeroClass = bZeroClass && root[i] == 0;
            nType = bZeroClass ? 65 : 64;
        }
    }
    if (e[1] == u"Objects" && e[2] == u"Quill" && e[3] == u"Escher") nType = 49;
    if (e[1] == u"NativeContent_MAIN") nType = 53;
    if (e[1] == u"\x01" u"CompObj" &&
        ((e[2] == u"   19" && e[3] == u"   29") || (e[2] == u"   112" && e[3] == u"   212")))
        nType = 43;
    if (e[1] == u"PropData" && e[2] == u"Forms" && e[3] == u"Reports") nType = 3;
    return nType;
}

}  // namespace

bool FileOLEAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, kSignature), pInfo, 44);
}

// The file ends with the last sector that the last allocation-table sector marks as used. Sector
// k of the file lies at (k + 1) * sector size; the header gives the sector size (512 bytes for
// version 3 files, 4096 for version 4).
bool FileOLEAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    auto h = rd.Window(0, 512);
    if (h.empty() || !KivBytesAt(h, 0, kSignature)) return false;
    KivByteReader hdr(h);
    const uint64_t nSec = hdr.U16At(0x1E) == 12 ? 4096 : 512;
    const uint64_t nPerSec = nSec / 4;
    const uint32_t nDirSector = hdr.U32At(0x30);
    uint32_t nNextExt = hdr.U32At(0x44);

    uint64_t nCount = 0;
    uint32_t nLast = kFree;
    for (size_t i = 0; i < 109; ++i) {
        uint32_t v = hdr.U32At(0x4C + 4 * i);
        if (v != kFree) {
            ++nCount;
            nLast = v;
        }
    }
    // Extension sectors: the chain must climb, which also bounds it.
    uint32_t nPrev = 0;
    for (uint64_t nStep = 1; nNextExt != kEndOfChain && nNextExt != kFree && (nStep == 1 || nNextExt > nPrev); ++nStep) {
        uint64_t off = (uint64_t(nNextExt) + 1) * nSec;
        if (off > nCap) return false;
        auto ext = rd.Window(off, nSec);
        if (ext.empty()) return false;
        KivByteReader x(ext);
        for (uint64_t i = 0; i + 1 < nPerSec; ++i) {
            uint32_t v = x.U32At(4 * i);
            if (v != kFree) {
                ++nCount;
                nLast = v;
            }
        }
        nPrev = nNextExt;
        nNextExt = x.U32At(nSec - 4);
        if (nStep % 10 == 0) KivPumpMessages();
    }
    if (nCount == 0 || nLast >= kEndOfChain) return false;

    uint64_t offLast = (uint64_t(nLast) + 1) * nSec;
    if (offLast > nCap) return false;
    auto fat = rd.Window(offLast, nSec);
    if (fat.empty()) return false;
    KivByteReader f(fat);
    uint64_t nUsed = 0;
    for (uint64_t i = nPerSec; i > 0; --i)
        if (f.U32At(4 * (i - 1)) != kFree) {
            nUsed = i;
            break;
        }
    uint64_t nSize = ((nCount - 1) * nPerSec + nUsed + 1) * nSec;
    // Files whose tables lie to an absurd length are bounded like every other carved file.
    auto store = [&](uint32_t nType) {
        pInfo->m_nTypeId = nType;
        pInfo->m_nSize = std::min(nSize, nCap);
        return true;
    };

    auto dir = rd.Window((uint64_t(nDirSector) + 1) * nSec, 512);
    if (nDirSector >= kEndOfChain || dir.empty()) {
        if (nSize > 0x9FFE00 && nSize != 0xA00000) return false;
        return store(39);
    }
    std::array<std::u16string, 4> names;
    for (size_t i = 0; i < 4; ++i) names[i] = EntryName(dir.subspan(128 * i, 128));
    return store(TypeOfEntries(names, dir.subspan(0, 128), nSize));
}

IRawFileAnalyser* CreateFileOLEAnalyser() { return new FileOLEAnalyser; }
