#include "Analysers/FileRARAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr char kMarker[] = "Rar!\x1a\x07\0";
constexpr char kEndBlock[] = "\xC4\x3D\x7B\x00\x40\x07\x00";

// Length of the block whose first 16 bytes are given, or 0 when it is not a valid block.
uint64_t BlockLength(std::span<const uint8_t> b) {
    KivByteReader r(b);
    const uint8_t nType = r.U8At(2);
    const uint64_t nHead = r.U16At(5);
    if (nHead <= 6) return 0;
    switch (nType) {
    case 0x73:
        return nHead >= 10 ? nHead : 0;
    case 0x74:
        if (r.U32At(11) < r.U32At(7) || r.U8At(15) >= 5) return 0;
        return nHead + r.U32At(7);
    case 0x75:
        return nHead + r.U16At(7);
    case 0x76:
        return nHead;
    case 0x77:
        return r.U8At(13) == 0 ? nHead + r.U32At(7) : 0;
    case 0x78:
    case 0x7A:
    case 0x7B:
        return nHead >= 10 ? nHead + r.U32At(7) : 0;
    default:
        return 0;
    }
}

}  // namespace

bool FileRARAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, kMarker), pInfo, 54);
}

bool FileRARAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    uint64_t pos = 7;
    for (uint64_t nStep = 1; pos <= nCap; ++nStep) {
        auto b = rd.Window(pos, 16);
        if (b.empty()) {
            if (pos == 7) return false;
            b = rd.Window(pos, 7);  // the end block may be the last bytes of the storage
            if (b.empty()) break;
        }
        if (KivBytesAt(b, 0, kEndBlock)) {
            pos += 7;
            break;
        }
        uint64_t nLen = b.size() >= 16 ? BlockLength(b) : 0;
        if (nLen == 0) {
            if (pos == 7) return false;
            break;
        }
        pos += nLen;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    pInfo->m_nSize = std::min(pos, nCap);
    return true;
}

IRawFileAnalyser* CreateFileRARAnalyser() { return new FileRARAnalyser; }
