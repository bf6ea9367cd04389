#include "Analysers/KivZipCheck.h"

#include <zlib.h>

#include <algorithm>
#include <unordered_set>

#include "Analysers/KivInflateCheck.h"
#include "KivByteReader.h"

namespace {

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50, kDesc = 0x08074B50;
constexpr uint32_t kZip64End = 0x06064B50, kZip64Loc = 0x07064B50;

}  // namespace

KivCheckVerdict CKivZipCheck::Check(std::span<const uint8_t> d, const KivCheckPoint* pFrom,
                                    std::vector<KivCheckPoint>* pPoints) {
    KivByteReader r(d);
    if (d.size() < 30 || r.U32At(0) != kLocal) return KivCheckVerdict::Unchecked();
    size_t p = pFrom ? static_cast<size_t>(pFrom->nOffset) : 0;
    // Members seen (local header offsets), for the central directory's pointers; a resumed check
    // trusts those before its start.
    std::unordered_set<uint64_t> members;
    uint64_t nResumedAt = p;
    uint64_t nCentralAt = ~0ull;
    uint64_t nSure = p;
    uint64_t nInflateLeft = kKivInflateMaxOut;  // for the whole archive
    for (;;) {
        if (p + 4 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
        uint32_t sig = r.U32At(p);
        if (sig == kLocal) {
            if (nCentralAt != ~0ull) return KivCheckVerdict::Broken(p + 4, nSure);
            if (pPoints) {
                KivCheckPoint cp;
                cp.nOffset = p;
                pPoints->push_back(cp);
            }
            nSure = p;
            if (p + 30 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
            uint16_t flags = r.U16At(p + 6), method = r.U16At(p + 8);
            uint32_t crc = r.U32At(p + 14), csize = r.U32At(p + 18), usize = r.U32At(p + 22);
            size_t nlen = r.U16At(p + 26), xlen = r.U16At(p + 28);
            size_t data = p + 30 + nlen + xlen;
            if (data > d.size()) return KivCheckVerdict::Broken(p + 30, nSure);
            members.insert(p);
            bool bDesc = flags & 0x08;
            if (csize == 0xFFFFFFFFu || usize == 0xFFFFFFFFu) return KivCheckVerdict::Unchecked();  // zip64 sizes
            if (flags & 0x01) {
                // Encrypted: its bytes cannot be checked, only stepped over.
                if (bDesc) return KivCheckVerdict::Unchecked();
                if (csize > d.size() - data) return KivCheckVerdict::Broken(d.size(), nSure);
                p = data + csize;
                continue;
            }
            size_t next;
            if (method == 8) {
                size_t avail = bDesc ? d.size() - data : std::min<size_t>(csize, d.size() - data);
                KivInflated inf;
                // A member decodes to its stated size: more is a break, or a bomb, found at once.
                uint64_t nMax = bDesc ? nInflateLeft : std::min<uint64_t>(uint64_t(usize) + 1, nInflateLeft);
                bool bOk = KivInflate(d.data() + data, avail, -15, &inf, nMax);
                if (inf.bCapped && nMax == nInflateLeft) return KivCheckVerdict::Unchecked();
                if (!bOk || !inf.bEnded) return KivCheckVerdict::Broken(data + inf.nConsumed, nSure);
                nInflateLeft -= inf.nOut;
                next = data + inf.nConsumed;
                if (bDesc) {
                    size_t q = next;
                    if (q + 4 <= d.size() && r.U32At(q) == kDesc) q += 4;
                    if (q + 12 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
                    crc = r.U32At(q);
                    csize = r.U32At(q + 4);
                    usize = r.U32At(q + 8);
                    if (csize != inf.nConsumed) return KivCheckVerdict::Broken(q + 12, nSure);
                    next = q + 12;
                } else if (inf.nConsumed != csize) {
                    return KivCheckVerdict::Broken(next, nSure);
                }
                if (inf.nCrc != crc || inf.nOut != usize) return KivCheckVerdict::Broken(next, nSure);
            } else if (method == 0) {
                if (bDesc) return KivCheckVerdict::Unchecked();
                if (csize > d.size() - data) return KivCheckVerdict::Broken(d.size(), nSure);
                if (csize != usize || KivCrc32(d.data() + data, csize) != crc) return KivCheckVerdict::Broken(data + csize, nSure);
                next = data + csize;
            } else {
                if (bDesc) return KivCheckVerdict::Unchecked();
                if (csize > d.size() - data) return KivCheckVerdict::Broken(d.size(), nSure);
                next = data + csize;
            }
            p = next;
            continue;
        }
        if (sig == kCentral) {
            if (nCentralAt == ~0ull) nCentralAt = p;
            if (p + 46 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
            uint64_t at = r.U32At(p + 42);
            if (at != 0xFFFFFFFFu && at >= nResumedAt && !members.count(at)) return KivCheckVerdict::Broken(p + 46, nSure);
            size_t len = 46 + size_t(r.U16At(p + 28)) + r.U16At(p + 30) + r.U16At(p + 32);
            if (len > d.size() - p) return KivCheckVerdict::Broken(p + 46, nSure);
            p += len;
            continue;
        }
        if (sig == kZip64End) {
            if (p + 12 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
            uint64_t len = r.U64At(p + 4);
            if (len > d.size() - p - 12) return KivCheckVerdict::Broken(p + 12, nSure);
            p += 12 + len;
            continue;
        }
        if (sig == kZip64Loc) {
            if (p + 20 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
            p += 20;
            continue;
        }
        if (sig == kEnd) {
            if (p + 22 > d.size()) return KivCheckVerdict::Broken(d.size(), nSure);
            uint32_t cdAt = r.U32At(p + 16);
            if (nCentralAt != ~0ull && cdAt != 0xFFFFFFFFu && cdAt != nCentralAt) return KivCheckVerdict::Broken(p + 22, nSure);
            if (size_t(r.U16At(p + 20)) > d.size() - p - 22) return KivCheckVerdict::Broken(p + 22, nSure);
            return KivCheckVerdict::Whole(p + 22 + r.U16At(p + 20));
        }
        return KivCheckVerdict::Broken(p + 4, nSure);
    }
}
