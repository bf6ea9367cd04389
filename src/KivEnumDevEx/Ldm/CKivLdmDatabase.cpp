#include "Ldm/CKivLdmDatabase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>

#include "IKivDevStor.h"
#include "KivByteReader.h"

namespace {

constexpr size_t kUnit = 512;  // the database counts 512-byte units

// Variable-width number: a count byte (1 to 8) and that many big-endian bytes.
uint64_t Var(KivByteReader& r) {
    uint8_t n = r.U8();
    if (n == 0 || n > 8) {
        r.Skip(r.Remaining() + 1);  // sets the sticky error
        return 0;
    }
    uint64_t v = 0;
    for (uint8_t i = 0; i < n; ++i) v = (v << 8) | r.U8();
    return v;
}

std::string Text(KivByteReader& r) {
    uint8_t n = r.U8();
    std::span<const uint8_t> s = r.Span(n);
    return std::string(s.begin(), s.end());
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Utf16NameIs(KivByteReader& r, size_t off, const char* psz) {
    for (size_t i = 0; psz[i]; ++i)
        if (r.U16At(off + 2 * i) != static_cast<uint8_t>(psz[i])) return false;
    return r.Ok();
}

}  // namespace

std::string KivLdmGuidText(const uint8_t* p) {
    char sz[40];
    std::snprintf(sz, sizeof sz, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", p[0], p[1],
                  p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10], p[11], p[12], p[13], p[14], p[15]);
    return sz;
}

bool KivParseLdmPrivHead(std::span<const uint8_t> sector, KivLdmPrivHead* pOut) {
    KivByteReader r(sector);
    if (!r.Equals(0, "PRIVHEAD", 8)) return false;
    std::span<const uint8_t> guid = sector.size() >= 112 ? sector.subspan(48, 64) : std::span<const uint8_t>();
    size_t n = 0;
    while (n < guid.size() && guid[n]) ++n;
    pOut->strDiskGuid = Lower(std::string(guid.begin(), guid.begin() + n));
    pOut->nDataStart = r.U64BEAt(283);
    pOut->nDataSize = r.U64BEAt(291);
    pOut->nConfigStart = r.U64BEAt(299);
    pOut->nConfigSize = r.U64BEAt(307);
    return r.Ok() && !pOut->strDiskGuid.empty();
}

bool CKivLdmDatabase::FindHead(IKivDevStor* pDisk) {
    const uint32_t nSize = pDisk->GetSectorSize();
    const uint64_t nSectors = pDisk->GetSectorCount();
    if (nSize < kUnit || nSectors == 0) return false;
    std::vector<uint8_t> buf(nSize);
    auto tryAt = [&](uint64_t n) {
        return n < nSectors && pDisk->ReadSectors(buf.data(), n, 1) && KivParseLdmPrivHead(buf, &m_head);
    };
    if (tryAt(nSectors - 1) || tryAt(6) || tryAt(2081)) return true;
    // A GPT disk keeps it in the last sector of its LDM metadata partition.
    if (!pDisk->ReadSectors(buf.data(), 1, 1)) return false;
    KivByteReader h(buf.data(), buf.size());
    if (!h.Equals(0, "EFI PART", 8)) return false;
    uint64_t nArray = h.U64At(72);
    uint32_t nEntries = h.U32At(80), nEntrySize = h.U32At(84);
    if (nEntries > 128 || nEntrySize < 128 || nEntrySize > nSize || nSize % nEntrySize) return false;
    std::vector<uint8_t> sec(nSize);
    for (uint32_t i = 0; i < nEntries; ++i) {
        uint64_t nAt = nArray + uint64_t(i) * nEntrySize / nSize;
        if (nAt >= nSectors || !pDisk->ReadSectors(sec.data(), nAt, 1)) return false;
        KivByteReader e(sec.data() + uint64_t(i) * nEntrySize % nSize, nEntrySize);
        if (Utf16NameIs(e, 56, "LDM metadata partition") && tryAt(e.U64At(40))) return true;
    }
    return false;
}

bool CKivLdmDatabase::ReadFrom(IKivDevStor* pDisk) {
    m_recs = {};
    if (!pDisk || !FindHead(pDisk)) return false;
    const uint32_t nSize = pDisk->GetSectorSize();
    const uint64_t nSectors = pDisk->GetSectorCount();
    const uint64_t nStart = m_head.nConfigStart * kUnit / nSize;
    if (nStart + 2 >= nSectors) return false;
    const uint64_t nCount = std::min<uint64_t>(kConfigSectors * kUnit / nSize, nSectors - nStart - 2);
    std::vector<uint8_t> area(nCount * nSize);
    if (!pDisk->ReadSectors(area.data(), nStart, nCount)) return false;
    ParseConfig(area);
    return true;
}

void CKivLdmDatabase::ParseConfig(std::span<const uint8_t> area) {
    // TOCBLOCK (one of two copies) names the "config" region, which starts with the VMDB.
    for (size_t nToc : {kUnit, 2 * kUnit}) {
        KivByteReader t(area);
        if (!t.Equals(nToc, "TOCBLOCK", 8)) continue;
        for (size_t b = 0; b < 2; ++b) {
            size_t off = nToc + 36 + 34 * b;
            if (!t.Equals(off, "config\0", 7)) continue;
            uint64_t nVmdb = t.U64BEAt(off + 10);
            if (!t.Ok() || nVmdb > area.size() / kUnit) break;
            KivByteReader v(area);
            size_t at = static_cast<size_t>(nVmdb) * kUnit;
            if (!v.Equals(at, "VMDB", 4)) break;
            uint32_t nSlot = v.U32BEAt(at + 8), nFirst = v.U32BEAt(at + 12);
            if (nSlot < 32 || nSlot > 65536 || nFirst > area.size() - at) break;
            WalkSlots(area, at + nFirst, nSlot);
            return;
        }
    }
    WalkSlots(area, 0, kDefaultRecordSize);
}

void CKivLdmDatabase::WalkSlots(std::span<const uint8_t> area, size_t nFirst, size_t nSlot) {
    struct Parts {
        uint16_t nCount = 0;
        std::map<uint16_t, std::span<const uint8_t>> frags;
    };
    std::map<uint32_t, Parts> split;
    for (size_t off = nFirst; off <= area.size() && area.size() - off >= nSlot; off += nSlot) {
        std::span<const uint8_t> slot = area.subspan(off, nSlot);
        KivByteReader r(slot);
        if (!r.Equals(0, "VBLK", 4)) continue;
        uint32_t nRec = r.U32BEAt(8);
        uint16_t nFrag = r.U16BEAt(12), nFrags = r.U16BEAt(14);
        if (nRec == 0) continue;  // an unused slot
        if (nFrags <= 1) {
            if (nFrag == 0) ParseRecord(slot);
            continue;
        }
        if (nFrags > kMaxFragments || nFrag >= nFrags) continue;
        Parts& p = split[nRec];
        if (p.nCount == 0) p.nCount = nFrags;
        if (p.nCount == nFrags) p.frags.emplace(nFrag, slot);
    }
    // A record over several slots: the first slot whole, then each later one after its 16-byte head.
    for (auto& [nRec, p] : split) {
        if (p.frags.size() != p.nCount) continue;  // a fragment is missing
        std::vector<uint8_t> joined(p.frags[0].begin(), p.frags[0].end());
        for (uint16_t i = 1; i < p.nCount; ++i) joined.insert(joined.end(), p.frags[i].begin() + 16, p.frags[i].end());
        ParseRecord(joined);
    }
}

void CKivLdmDatabase::ParseRecord(std::span<const uint8_t> rec) {
    KivByteReader h(rec);
    uint8_t nFlags = h.U8At(18), nType = h.U8At(19);
    uint32_t nData = h.U32BEAt(20);
    if (!h.Ok()) return;
    KivByteReader r(rec.subspan(24, std::min<size_t>(nData, rec.size() - 24)));
    switch (nType) {
        case 0x51: {
            KivLdmVolRec v;
            v.nId = Var(r);
            v.strName = Text(r);
            v.strTypeName = Lower(Text(r));
            Text(r);   // a text that is empty in every database seen (one zero byte)
            r.Skip(14);  // state
            v.nVolType = r.U8();
            r.Skip(6);
            v.nComps = Var(r);
            r.Skip(16);  // commit and other ids
            v.nSize = Var(r);
            r.Skip(4);
            v.nPartType = r.U8();
            r.Bytes(v.guid, 16);
            if (v.nVolType != 3 && v.nVolType != 4) v.nVolType = v.strTypeName == "raid5" ? 4 : 3;
            if (r.Ok()) m_recs.vols.push_back(std::move(v));
            break;
        }
        case 0x32: {
            KivLdmCompRec c;
            c.nId = Var(r);
            c.strName = Text(r);
            Text(r);  // state
            c.nType = r.U8();
            r.Skip(4);
            c.nParts = Var(r);
            r.Skip(16);
            c.nParentId = Var(r);
            if (nFlags & 0x10) {
                r.Skip(1);
                c.nStripe = Var(r);
                c.nColumns = Var(r);
            }
            if (r.Ok()) m_recs.comps.push_back(std::move(c));
            break;
        }
        case 0x33: {
            KivLdmPartRec p;
            p.nId = Var(r);
            p.strName = Text(r);
            r.Skip(12);
            p.nStart = r.U64BE();
            p.nVolOffset = r.U64BE();
            p.nSize = Var(r);
            p.nParentId = Var(r);
            p.nDiskId = Var(r);
            if (nFlags & 0x08) {
                p.nColumn = Var(r);
                p.bHasColumn = true;
            }
            if (r.Ok()) m_recs.parts.push_back(std::move(p));
            break;
        }
        case 0x34:
        case 0x44: {
            KivLdmDiskRec d;
            d.nId = Var(r);
            d.strName = Text(r);
            if (nType == 0x34) {
                d.strGuid = Lower(Text(r));
            } else {
                uint8_t g[16] = {};
                if (r.Bytes(g, 16)) d.strGuid = KivLdmGuidText(g);
            }
            if (r.Ok()) m_recs.disks.push_back(std::move(d));
            break;
        }
        default:
            break;
    }
}
