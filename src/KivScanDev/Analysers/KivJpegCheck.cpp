#include "Analysers/KivJpegCheck.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint64_t kPointEvery = 4096;  // bytes of entropy data between check points

struct Huff {
    bool bSet = false;
    int32_t maxcode[18] = {};
    int32_t mincode[17] = {};
    int32_t valptr[17] = {};
    uint8_t vals[256] = {};
};

struct Comp {
    uint8_t nId = 0, h = 1, v = 1;
    uint8_t td = 0, ta = 0;  // tables of the current scan
};

// Why a walk stopped.
struct Stop {
    bool bBroken = false;
    uint64_t nAt = 0;
};

class Walker {
public:
    Walker(std::span<const uint8_t> d, std::vector<KivCheckPoint>* pPoints) : m_d(d), m_pPoints(pPoints) {}
    KivCheckVerdict Run(const KivCheckPoint* pFrom);

private:
    KivCheckVerdict Broken(uint64_t at) { return KivCheckVerdict::Broken(at, m_nSure); }
    size_t Size() const { return m_d.size(); }
    bool ParseDht(size_t p, size_t n);
    bool ParseSof(size_t p, size_t n, uint8_t code);
    bool ParseSos(size_t p, size_t n);
    // Entropy data of the scan whose header ends at q; answers where it ends (the next marker),
    // or a break. pFrom: resume inside it.
    bool Scan(size_t q, size_t nSosAt, const KivCheckPoint* pFrom, size_t* pEnd, uint64_t* pBreak);
    bool ScanHuffman(size_t q, size_t nSosAt, const KivCheckPoint* pFrom, size_t* pEnd, uint64_t* pBreak);
    bool ScanMarkers(size_t q, size_t* pEnd, uint64_t* pBreak);
    uint64_t UnitsInScan() const;
    uint32_t BlocksPerUnit() const;

    // Bit reader.
    int Bit();  // 0/1, or -1 at a marker or the end
    int Bits(int n, int32_t* pOut);
    int Decode(const Huff& h);

    std::span<const uint8_t> m_d;
    std::vector<KivCheckPoint>* m_pPoints;
    uint64_t m_nSure = 0;
    Huff m_dc[4], m_ac[4];
    Comp m_comp[4];
    int m_nComps = 0;
    uint32_t m_nWidth = 0, m_nHeight = 0;
    uint8_t m_nPrecision = 8;
    bool m_bFrame = false;
    bool m_bHuffSeq = false;  // sequential Huffman frame: scans are decoded
    uint32_t m_nRestart = 0;
    // Current scan.
    int m_scanComp[4] = {};
    int m_nScanComps = 0;
    int m_ss = 0, m_se = 63, m_ah = 0, m_al = 0;
    // Bit reader state.
    size_t m_q = 0;
    uint32_t m_cur = 0;
    int m_nLeft = 0;
};

bool Walker::ParseDht(size_t p, size_t n) {
    size_t end = p + n;
    while (p < end) {
        if (end - p < 17) return false;
        uint8_t tc = m_d[p] >> 4, th = m_d[p] & 15;
        if (tc > 1 || th > 3) return false;
        const uint8_t* bits = &m_d[p + 1];
        size_t total = 0;
        for (int i = 0; i < 16; ++i) total += bits[i];
        if (total > 256 || end - p - 17 < total) return false;
        Huff& h = tc ? m_ac[th] : m_dc[th];
        h = Huff{};
        std::memcpy(h.vals, &m_d[p + 17], total);
        int32_t code = 0, k = 0;
        for (int l = 1; l <= 16; ++l) {
            int cnt = bits[l - 1];
            if (cnt) {
                h.valptr[l] = k;
                h.mincode[l] = code;
                code += cnt;
                k += cnt;
                h.maxcode[l] = code - 1;
                if (code > (1 << l)) return false;  // more codes than the length allows
            } else {
                h.maxcode[l] = -1;
            }
            code <<= 1;
        }
        h.maxcode[17] = 0x7FFFFFFF;
        h.bSet = true;
        p += 17 + total;
    }
    return true;
}

bool Walker::ParseSof(size_t p, size_t n, uint8_t code) {
    if (m_bFrame || n < 6) return false;
    m_nPrecision = m_d[p];
    m_nHeight = (uint32_t(m_d[p + 1]) << 8) | m_d[p + 2];
    m_nWidth = (uint32_t(m_d[p + 3]) << 8) | m_d[p + 4];
    int nc = m_d[p + 5];
    if (nc < 1 || nc > 4 || n < size_t(6 + 3 * nc) || m_nWidth == 0) return false;
    if (m_nPrecision != 8 && m_nPrecision != 12 && m_nPrecision != 16 && m_nPrecision != 2) return false;
    for (int i = 0; i < nc; ++i) {
        Comp& c = m_comp[i];
        c.nId = m_d[p + 6 + 3 * i];
        c.h = m_d[p + 7 + 3 * i] >> 4;
        c.v = m_d[p + 7 + 3 * i] & 15;
        if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4) return false;
    }
    m_nComps = nc;
    m_bFrame = true;
    // Baseline and extended sequential Huffman frames of known height are decoded.
    m_bHuffSeq = (code == 0xC0 || code == 0xC1) && m_nHeight && (m_nPrecision == 8 || m_nPrecision == 12);
    return true;
}

bool Walker::ParseSos(size_t p, size_t n) {
    if (!m_bFrame || n < 1) return false;
    int ns = m_d[p];
    if (ns < 1 || ns > 4 || n != size_t(4 + 2 * ns)) return false;
    for (int i = 0; i < ns; ++i) {
        uint8_t id = m_d[p + 1 + 2 * i];
        int k = 0;
        while (k < m_nComps && m_comp[k].nId != id) ++k;
        if (k == m_nComps) return false;
        m_comp[k].td = m_d[p + 2 + 2 * i] >> 4;
        m_comp[k].ta = m_d[p + 2 + 2 * i] & 15;
        if (m_comp[k].td > 3 || m_comp[k].ta > 3) return false;
        m_scanComp[i] = k;
    }
    m_nScanComps = ns;
    m_ss = m_d[p + 1 + 2 * ns];
    m_se = m_d[p + 2 + 2 * ns];
    m_ah = m_d[p + 3 + 2 * ns] >> 4;
    m_al = m_d[p + 3 + 2 * ns] & 15;
    if (m_bHuffSeq && (m_ss != 0 || m_se != 63 || m_ah || m_al)) return false;
    if (m_bHuffSeq && BlocksPerUnit() > 10) return false;
    return true;
}

uint32_t Walker::BlocksPerUnit() const {
    if (m_nScanComps == 1) return 1;
    uint32_t n = 0;
    for (int i = 0; i < m_nScanComps; ++i) n += uint32_t(m_comp[m_scanComp[i]].h) * m_comp[m_scanComp[i]].v;
    return n;
}

uint64_t Walker::UnitsInScan() const {
    uint32_t hmax = 1, vmax = 1;
    for (int i = 0; i < m_nComps; ++i) {
        hmax = std::max<uint32_t>(hmax, m_comp[i].h);
        vmax = std::max<uint32_t>(vmax, m_comp[i].v);
    }
    if (m_nScanComps == 1) {
        const Comp& c = m_comp[m_scanComp[0]];
        uint64_t w = (uint64_t(m_nWidth) * c.h + hmax - 1) / hmax, h = (uint64_t(m_nHeight) * c.v + vmax - 1) / vmax;
        return ((w + 7) / 8) * ((h + 7) / 8);
    }
    return ((m_nWidth + 8 * hmax - 1) / (8 * hmax)) * uint64_t((m_nHeight + 8 * vmax - 1) / (8 * vmax));
}

int Walker::Bit() {
    if (m_nLeft == 0) {
        if (m_q >= Size()) return -1;
        uint8_t b = m_d[m_q];
        if (b == 0xFF) {
            if (m_q + 1 >= Size() || m_d[m_q + 1] != 0) return -1;  // a marker inside the data
            m_q += 2;
        } else {
            ++m_q;
        }
        m_cur = b;
        m_nLeft = 8;
    }
    --m_nLeft;
    return (m_cur >> m_nLeft) & 1;
}

int Walker::Bits(int n, int32_t* pOut) {
    int32_t v = 0;
    for (int i = 0; i < n; ++i) {
        int b = Bit();
        if (b < 0) return -1;
        v = (v << 1) | b;
    }
    *pOut = v;
    return 0;
}

int Walker::Decode(const Huff& h) {
    int b = Bit();
    if (b < 0) return -1;
    int32_t code = b;
    int l = 1;
    while (code > h.maxcode[l]) {
        if (++l > 16) return -2;  // no code of the table
        if ((b = Bit()) < 0) return -1;
        code = (code << 1) | b;
    }
    int32_t k = h.valptr[l] + code - h.mincode[l];
    if (k < 0 || k > 255) return -2;
    return h.vals[k];
}

bool Walker::ScanMarkers(size_t q, size_t* pEnd, uint64_t* pBreak) {
    // Scans that are not decoded: the data up to the next marker, restart markers in sequence.
    uint32_t nExpect = 0;
    for (;;) {
        const uint8_t* f = q < Size() ? static_cast<const uint8_t*>(std::memchr(&m_d[q], 0xFF, Size() - q)) : nullptr;
        if (!f) {
            *pBreak = Size();
            return false;
        }
        q = size_t(f - m_d.data());
        if (q + 1 >= Size()) {
            *pBreak = Size();
            return false;
        }
        uint8_t c = m_d[q + 1];
        if (c == 0x00) {
            q += 2;
            continue;
        }
        if (c >= 0xD0 && c <= 0xD7) {
            if ((c & 7) != (nExpect & 7)) {
                *pBreak = q + 2;
                return false;
            }
            ++nExpect;
            q += 2;
            m_nSure = q;
            continue;
        }
        if (c == 0xFF) {
            ++q;
            continue;
        }
        *pEnd = q;
        return true;
    }
}

bool Walker::ScanHuffman(size_t q, size_t nSosAt, const KivCheckPoint* pFrom, size_t* pEnd, uint64_t* pBreak) {
    for (int i = 0; i < m_nScanComps; ++i) {
        const Comp& c = m_comp[m_scanComp[i]];
        if (!m_dc[c.td].bSet || !m_ac[c.ta].bSet) {
            *pBreak = nSosAt;
            return false;
        }
    }
    const uint64_t nUnits = UnitsInScan();
    int32_t dc[4] = {};
    uint64_t unit = 0;
    uint32_t rst = 0;
    m_q = q;
    m_nLeft = 0;
    m_cur = 0;
    if (pFrom) {
        m_q = pFrom->nOffset;
        unit = pFrom->v[1];
        rst = static_cast<uint32_t>(pFrom->v[2]);
        m_cur = static_cast<uint32_t>(pFrom->v[3] & 0xFF);
        m_nLeft = static_cast<int>(pFrom->v[3] >> 8);
        for (int i = 0; i < 4; ++i) dc[i] = static_cast<int32_t>(pFrom->v[4 + i]);
    }
    const int nMaxDc = m_nPrecision + 3, nMaxAc = m_nPrecision + 2;
    uint64_t nNextPoint = m_q + kPointEvery;
    auto fail = [&](int r) {
        // A marker met inside a unit is where the data stopped holding together; so is a code
        // the tables do not have.
        (void)r;
        *pBreak = std::min<uint64_t>(m_q + 2, Size());
        return false;
    };
    while (unit < nUnits) {
        if (m_nRestart && unit && unit % m_nRestart == 0 && !(pFrom && unit == pFrom->v[1] && m_q == pFrom->nOffset)) {
            // The interval is complete: its restart marker must follow at once.
            m_nLeft = 0;
            size_t p = m_q;
            while (p + 1 < Size() && m_d[p] == 0xFF && m_d[p + 1] == 0xFF) ++p;
            if (p + 1 >= Size() || m_d[p] != 0xFF || m_d[p + 1] != (0xD0 | (rst & 7))) {
                *pBreak = std::min<uint64_t>(p + 2, Size());
                return false;
            }
            ++rst;
            m_q = p + 2;
            std::fill(std::begin(dc), std::end(dc), 0);
            m_nSure = m_q;
        }
        pFrom = nullptr;
        if (m_pPoints && m_q >= nNextPoint) {
            KivCheckPoint cp;
            cp.nOffset = m_q;
            cp.v[0] = nSosAt;
            cp.v[1] = unit;
            cp.v[2] = rst;
            cp.v[3] = m_cur | (uint64_t(m_nLeft) << 8);
            for (int i = 0; i < 4; ++i) cp.v[4 + i] = static_cast<uint64_t>(static_cast<uint32_t>(dc[i]));
            m_pPoints->push_back(cp);
            nNextPoint = m_q + kPointEvery;
        }
        for (int i = 0; i < m_nScanComps; ++i) {
            const Comp& c = m_comp[m_scanComp[i]];
            uint32_t nBlocks = m_nScanComps == 1 ? 1 : uint32_t(c.h) * c.v;
            for (uint32_t b = 0; b < nBlocks; ++b) {
                int s = Decode(m_dc[c.td]);
                if (s < 0) return fail(s);
                if (s > nMaxDc) return fail(-2);
                int32_t v = 0;
                if (s && Bits(s, &v) < 0) return fail(-1);
                // Wraps as the stored points do, without signed overflow on a long scan.
                dc[i] = static_cast<int32_t>(static_cast<uint32_t>(dc[i]) + static_cast<uint32_t>(v));
                for (int k = 1; k < 64;) {
                    int rs = Decode(m_ac[c.ta]);
                    if (rs < 0) return fail(rs);
                    int r = rs >> 4, sz = rs & 15;
                    if (sz == 0) {
                        if (r != 15) break;  // end of block
                        k += 16;
                        if (k > 64) return fail(-2);
                        continue;
                    }
                    k += r;
                    if (k > 63 || sz > nMaxAc) return fail(-2);
                    if (Bits(sz, &v) < 0) return fail(-1);
                    ++k;
                }
            }
        }
        ++unit;
    }
    // The scan's last unit ends in its last byte: a marker follows (fill bytes may stand before it).
    m_nLeft = 0;
    if (m_q + 1 >= Size() || m_d[m_q] != 0xFF || m_d[m_q + 1] == 0x00) {
        *pBreak = std::min<uint64_t>(m_q + 2, Size());
        return false;
    }
    *pEnd = m_q;
    m_nSure = m_q;
    return true;
}

bool Walker::Scan(size_t q, size_t nSosAt, const KivCheckPoint* pFrom, size_t* pEnd, uint64_t* pBreak) {
    if (m_bHuffSeq) return ScanHuffman(q, nSosAt, pFrom, pEnd, pBreak);
    return ScanMarkers(q, pEnd, pBreak);
}

KivCheckVerdict Walker::Run(const KivCheckPoint* pFrom) {
    if (Size() < 4 || m_d[0] != 0xFF || m_d[1] != 0xD8) return KivCheckVerdict::Unchecked();
    size_t p = 2;
    bool bScan = false;
    for (;;) {
        if (p >= Size()) return Broken(Size());
        if (m_d[p] != 0xFF) return Broken(p + 1);
        while (p + 1 < Size() && m_d[p + 1] == 0xFF) ++p;  // fill bytes
        if (p + 1 >= Size()) return Broken(Size());
        uint8_t code = m_d[p + 1];
        if (code == 0xD9) {
            if (!bScan) return Broken(p + 2);
            // Data after the end marker (a second image, a clip) is not checked. Where the scans were
            // passed over by their markers only, an end marker may be other data by chance: the file
            // must end there.
            if (!m_bHuffSeq)
                for (size_t i = p + 2; i < Size(); ++i)
                    if (m_d[i]) return Broken(p + 2);
            return KivCheckVerdict::Whole(p + 2);
        }
        if (code == 0xD8 || (code >= 0xD0 && code <= 0xD7) || (code >= 0x02 && code <= 0xBF) || code == 0x00)
            return Broken(p + 2);
        if (code == 0x01) {
            p += 2;
            continue;
        }
        if (p + 4 > Size()) return Broken(Size());
        size_t len = (size_t(m_d[p + 2]) << 8) | m_d[p + 3];
        if (len < 2 || len > Size() - p - 2) return Broken(p + 4);
        size_t body = p + 4, n = len - 2;
        bool bOk = true;
        if (code == 0xC4) {
            bOk = ParseDht(body, n);
        } else if (code == 0xDD) {
            bOk = n == 2;
            if (bOk) m_nRestart = (uint32_t(m_d[body]) << 8) | m_d[body + 1];
        } else if ((code >= 0xC0 && code <= 0xCF) && code != 0xC4 && code != 0xC8 && code != 0xCC) {
            bOk = ParseSof(body, n, code);
        } else if (code == 0xDA) {
            bOk = ParseSos(body, n);
            if (bOk) {
                size_t nEnd = 0;
                uint64_t nBreak = 0;
                const KivCheckPoint* pResume = pFrom && pFrom->v[0] == p ? pFrom : nullptr;
                if (pFrom && !pResume && pFrom->v[0] > p) {
                    // The point lies in a later scan: this one's data is passed over by its markers.
                    if (!ScanMarkers(body + n, &nEnd, &nBreak)) return Broken(nBreak);
                } else if (!Scan(body + n, p, pResume, &nEnd, &nBreak)) {
                    return Broken(nBreak);
                }
                if (pResume) pFrom = nullptr;
                bScan = true;
                p = nEnd;
                continue;
            }
        }
        if (!bOk) return Broken(p + 2 + len);  // some byte of the segment is wrong
        p += 2 + len;
    }
}

}  // namespace

KivCheckVerdict CKivJpegCheck::Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                                     std::vector<KivCheckPoint>* pPoints) {
    Walker w(data, pPoints);
    return w.Run(pFrom);
}
