#include "platform/KivWinIoctl.h"

#include <algorithm>

#include "KivByteReader.h"

namespace {

constexpr size_t kLayoutExHead = 48, kLayoutExEntry = 144;
constexpr size_t kLayoutHead = 8, kLayoutEntry = 32;
constexpr size_t kExtentsHead = 8, kExtentSize = 24;

// A text at an offset of the answer: up to its NUL or the answer's end, blanks trimmed.
std::string TextAt(std::span<const uint8_t> a, uint32_t nOff) {
    if (nOff == 0 || nOff == 0xFFFFFFFFu || nOff >= a.size()) return {};
    std::string s;
    for (size_t i = nOff; i < a.size() && a[i]; ++i) s += static_cast<char>(a[i]);
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

}  // namespace

bool KivDecodeGeometry(std::span<const uint8_t> a, KivWinGeometry* pOut) {
    KivByteReader r(a.data(), a.size());
    KivWinGeometry g;
    g.nCylinders = r.U64At(0);
    g.nMediaType = r.U32At(8);
    g.nTracksPerCylinder = r.U32At(12);
    g.nSectorsPerTrack = r.U32At(16);
    g.nBytesPerSector = r.U32At(20);
    if (!r.Ok()) return false;
    if (a.size() >= 32) {
        g.bHasDiskSize = true;
        g.nDiskSize = r.U64At(24);
    }
    *pOut = g;
    return true;
}

bool KivDecodeLength(std::span<const uint8_t> a, uint64_t* pBytes) {
    KivByteReader r(a.data(), a.size());
    uint64_t n = r.U64At(0);
    if (!r.Ok()) return false;
    *pBytes = n;
    return true;
}

bool KivDecodeLayoutEx(std::span<const uint8_t> a, KivWinLayout* pOut) {
    KivByteReader r(a.data(), a.size());
    KivWinLayout l;
    l.nStyle = r.U32At(0);
    uint32_t nCount = r.U32At(4);
    if (!r.Ok() || a.size() < kLayoutExHead || nCount > (a.size() - kLayoutExHead) / kLayoutExEntry) return false;
    if (l.nStyle == 0) l.nMbrSignature = r.U32At(8);
    for (uint32_t i = 0; i < nCount; ++i) {
        size_t e = kLayoutExHead + i * kLayoutExEntry;
        KivWinPartition p;
        p.bGpt = r.U32At(e) == 1;
        p.nStart = r.U64At(e + 8);
        p.nLength = r.U64At(e + 16);
        p.nNumber = r.U32At(e + 24);
        if (p.bGpt) {
            auto g = r.SpanAt(e + 32, 16);
            if (!r.Ok()) return false;
            std::copy(g.begin(), g.end(), p.typeGuid);
            for (size_t k = 0; k < 36; ++k) {
                char16_t c = r.U16At(e + 72 + 2 * k);
                if (!c) break;
                p.name += c;
            }
        } else {
            p.nMbrType = r.U8At(e + 32);
        }
        if (!r.Ok()) return false;
        if (p.nLength == 0 || (!p.bGpt && p.nMbrType == 0)) continue;
        l.parts.push_back(p);
    }
    *pOut = l;
    return true;
}

bool KivDecodeLayout(std::span<const uint8_t> a, KivWinLayout* pOut) {
    KivByteReader r(a.data(), a.size());
    KivWinLayout l;
    l.nStyle = 0;
    uint32_t nCount = r.U32At(0);
    l.nMbrSignature = r.U32At(4);
    if (!r.Ok() || nCount > (a.size() - kLayoutHead) / kLayoutEntry) return false;
    for (uint32_t i = 0; i < nCount; ++i) {
        size_t e = kLayoutHead + i * kLayoutEntry;
        KivWinPartition p;
        p.nStart = r.U64At(e);
        p.nLength = r.U64At(e + 8);
        p.nNumber = r.U32At(e + 20);
        p.nMbrType = r.U8At(e + 24);
        if (!r.Ok()) return false;
        if (p.nLength == 0 || p.nMbrType == 0) continue;
        l.parts.push_back(p);
    }
    *pOut = l;
    return true;
}

bool KivDecodeStorageDescriptor(std::span<const uint8_t> a, KivWinStorageDesc* pOut) {
    KivByteReader r(a.data(), a.size());
    KivWinStorageDesc d;
    d.bRemovable = r.U8At(10) != 0;
    uint32_t nVendor = r.U32At(12), nProduct = r.U32At(16), nRevision = r.U32At(20), nSerial = r.U32At(24);
    d.nBusType = r.U32At(28);
    if (!r.Ok()) return false;
    d.strVendor = TextAt(a, nVendor);
    d.strProduct = TextAt(a, nProduct);
    d.strRevision = TextAt(a, nRevision);
    d.strSerial = TextAt(a, nSerial);
    *pOut = d;
    return true;
}

std::vector<uint8_t> KivStorageDeviceQuery() {
    // STORAGE_PROPERTY_QUERY: PropertyId StorageDeviceProperty (0), QueryType PropertyStandardQuery
    // (0), AdditionalParameters[1] (padded to 12 bytes).
    return std::vector<uint8_t>(12, 0);
}

bool KivDecodeDiskExtents(std::span<const uint8_t> a, std::vector<KivWinExtent>* pOut) {
    KivByteReader r(a.data(), a.size());
    uint32_t nCount = r.U32At(0);
    if (!r.Ok() || a.size() < kExtentsHead || nCount > (a.size() - kExtentsHead) / kExtentSize) return false;
    pOut->clear();
    for (uint32_t i = 0; i < nCount; ++i) {
        size_t e = kExtentsHead + i * kExtentSize;
        KivWinExtent x;
        x.nDisk = r.U32At(e);
        x.nStart = r.U64At(e + 8);
        x.nLength = r.U64At(e + 16);
        pOut->push_back(x);
    }
    return r.Ok();
}

bool KivDecodeDeviceNumber(std::span<const uint8_t> a, uint32_t* pDisk, uint32_t* pPartition) {
    KivByteReader r(a.data(), a.size());
    uint32_t nDisk = r.U32At(4), nPart = r.U32At(8);
    if (!r.Ok()) return false;
    *pDisk = nDisk;
    *pPartition = nPart;
    return true;
}
