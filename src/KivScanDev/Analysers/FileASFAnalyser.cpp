#include "Analysers/FileASFAnalyser.h"

#include <algorithm>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {
const uint8_t kHeaderId[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                               0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kDataId[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                             0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const uint8_t kIndexId[16] = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                              0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
constexpr uint64_t kObjectHeader = 24;  // identifier and 64-bit size
}  // namespace

bool FileASFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(KivBytesAt(sector, 0, kHeaderId), pInfo, 6);
}

// Top-level objects: header, data, then an optional simple index.
bool FileASFAnalyser::MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    const uint8_t* kIds[3] = {kHeaderId, kDataId, kIndexId};
    uint64_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        auto obj = rd.Window(pos, kObjectHeader);
        bool bValid = !obj.empty() && std::equal(obj.begin(), obj.begin() + 16, kIds[i]);
        uint64_t nSize = bValid ? KivByteReader(obj).U64At(16) : 0;
        // An object smaller than its own header cannot be a real one (and would not move the walk).
        if (!bValid || nSize < kObjectHeader || KivAddOverflows(pos, nSize, &nSize)) {
            if (i < 2) return false;
            break;
        }
        pos = nSize;
    }
    pInfo->m_nSize = pos >= 100ull << 32 ? 1ull << 32 : pos;
    return true;
}

IRawFileAnalyser* CreateFileASFAnalyser() { return new FileASFAnalyser; }
