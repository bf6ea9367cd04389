#include "Analysers/KivPdfCheck.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivInflateCheck.h"

namespace {

bool IsWs(uint8_t c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0; }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

class Walker {
public:
    explicit Walker(std::span<const uint8_t> d) : m_d(d) {}
    KivCheckVerdict Run(size_t p, std::vector<KivCheckPoint>* pPoints);

private:
    size_t Find(size_t from, size_t to, std::string_view s) const {
        if (from >= to || to > m_d.size() || s.size() > to - from) return std::string_view::npos;
        std::string_view hay(reinterpret_cast<const char*>(m_d.data()) + from, to - from);
        size_t k = hay.find(s);
        return k == std::string_view::npos ? k : from + k;
    }
    bool Num(size_t* p, uint64_t* pOut) const {
        size_t q = *p;
        uint64_t v = 0;
        while (q < m_d.size() && IsDigit(m_d[q]) && q - *p < 19) v = v * 10 + (m_d[q++] - '0');
        if (q == *p) return false;
        *p = q;
        *pOut = v;
        return true;
    }
    size_t SkipWs(size_t p) const {
        while (p < m_d.size() && IsWs(m_d[p])) ++p;
        return p;
    }
    // "N G obj" at p: its number and where its body begins.
    bool ObjHead(size_t p, uint64_t* pNum, size_t* pBody) const {
        uint64_t g;
        if (!Num(&p, pNum)) return false;
        size_t q = SkipWs(p);
        if (q == p || !Num(&q, &g)) return false;
        size_t r = SkipWs(q);
        if (r == q || !KivBytesAt(m_d, r, "obj")) return false;
        *pBody = r + 3;
        return true;
    }
    // The stream's stated length in its dictionary [from, to), when it is a direct number.
    bool StreamLength(size_t from, size_t to, uint64_t* pLen) const;

    std::span<const uint8_t> m_d;
};

bool Walker::StreamLength(size_t from, size_t to, uint64_t* pLen) const {
    for (size_t k = Find(from, to, "/Length"); k != std::string_view::npos; k = Find(k + 1, to, "/Length")) {
        size_t q = k + 7;
        if (q < to && !IsWs(m_d[q])) continue;  // /Length1 and the like
        q = SkipWs(q);
        uint64_t v, g;
        if (!Num(&q, &v)) return false;
        size_t r = SkipWs(q);
        // "n g R" names another object: the length is not known from here.
        if (r > q && Num(&r, &g) && SkipWs(r) < m_d.size() && m_d[SkipWs(r)] == 'R') return false;
        *pLen = v;
        return true;
    }
    return false;
}

KivCheckVerdict Walker::Run(size_t p, std::vector<KivCheckPoint>* pPoints) {
    const size_t n = m_d.size();
    std::unordered_map<uint64_t, uint64_t> objects;  // object start -> number
    std::vector<std::pair<uint64_t, uint64_t>> refs;  // (number, offset) from the tables
    uint64_t nResumed = p;
    bool bEof = false;
    uint64_t nSure = p;
    uint64_t nInflateLeft = kKivInflateMaxOut;  // for the whole file
    while (true) {
        // Whitespace and comments; "%%EOF" ends a revision.
        for (;;) {
            p = SkipWs(p);
            if (p < n && m_d[p] == '%') {
                if (KivBytesAt(m_d, p, "%%EOF")) bEof = true;
                while (p < n && m_d[p] != '\r' && m_d[p] != '\n') ++p;
                continue;
            }
            break;
        }
        if (p >= n) break;
        nSure = p;
        if (pPoints) {
            KivCheckPoint cp;
            cp.nOffset = p;
            pPoints->push_back(cp);
        }
        uint64_t num;
        size_t body;
        if (IsDigit(m_d[p])) {
            if (!ObjHead(p, &num, &body)) return KivCheckVerdict::Broken(std::min(p + 24, n), nSure);
            bEof = false;
            objects[p] = num;
            size_t endobj = Find(body, n, "endobj");
            size_t stream = Find(body, endobj == std::string_view::npos ? n : endobj, "stream");
            if (stream != std::string_view::npos) {
                size_t data = stream + 6;
                if (data < n && m_d[data] == '\r') ++data;
                if (data < n && m_d[data] == '\n') ++data;
                uint64_t len;
                size_t end;
                if (StreamLength(body, stream, &len)) {
                    if (len > n - data) return KivCheckVerdict::Broken(n, data);
                    end = data + len;
                    if (Find(body, stream, "/FlateDecode") != std::string_view::npos && len) {
                        KivInflated inf;
                        bool bOk = KivInflate(&m_d[data], len, 15, &inf, nInflateLeft);
                        if (inf.bCapped) return KivCheckVerdict::Unchecked();
                        if (!bOk) return KivCheckVerdict::Broken(data + inf.nConsumed, data);
                        nInflateLeft -= inf.nOut;
                    }
                    size_t q = end;
                    if (q < n && m_d[q] == '\r') ++q;
                    if (q < n && m_d[q] == '\n') ++q;
                    if (!KivBytesAt(m_d, q, "endstream") && !KivBytesAt(m_d, end, "endstream"))
                        return KivCheckVerdict::Broken(end, data);
                } else {
                    end = Find(data, n, "endstream");
                    if (end == std::string_view::npos) return KivCheckVerdict::Broken(n, data);
                }
                endobj = Find(end, n, "endobj");
            }
            if (endobj == std::string_view::npos) return KivCheckVerdict::Broken(n, p);
            p = endobj + 6;
            continue;
        }
        if (KivBytesAt(m_d, p, "xref")) {
            size_t q = SkipWs(p + 4);
            uint64_t first, count;
            while (q < n && IsDigit(m_d[q])) {
                if (!Num(&q, &first)) return KivCheckVerdict::Broken(q, nSure);
                q = SkipWs(q);
                if (!Num(&q, &count)) return KivCheckVerdict::Broken(q, nSure);
                q = SkipWs(q);
                for (uint64_t i = 0; i < count; ++i) {
                    if (n - q < 18) return KivCheckVerdict::Broken(n, nSure);
                    size_t e = q;
                    uint64_t off, g;
                    // A generation of more digits than the entry holds may run to the end.
                    if (!Num(&e, &off) || e != q + 10 || m_d[e] != ' ' || (++e, !Num(&e, &g)) || e + 1 >= n ||
                        m_d[e] != ' ')
                        return KivCheckVerdict::Broken(std::min(q + 20, n), nSure);
                    uint8_t kind = m_d[e + 1];
                    if (kind != 'n' && kind != 'f') return KivCheckVerdict::Broken(std::min(q + 20, n), nSure);
                    if (kind == 'n' && off) refs.emplace_back(first + i, off);
                    q = SkipWs(e + 2);
                }
            }
            p = q;
            continue;
        }
        if (KivBytesAt(m_d, p, "trailer")) {
            size_t q = Find(p, n, "startxref");
            if (q == std::string_view::npos) return KivCheckVerdict::Broken(p + 7, nSure);
            p = q;
            continue;
        }
        if (KivBytesAt(m_d, p, "startxref")) {
            size_t q = SkipWs(p + 9);
            uint64_t at;
            if (!Num(&q, &at)) return KivCheckVerdict::Broken(q, nSure);
            if (at >= nResumed && at < n && !KivBytesAt(m_d, at, "xref") && !objects.count(at))
                return KivCheckVerdict::Broken(q, nSure);
            p = q;
            continue;
        }
        return KivCheckVerdict::Broken(p + 1, nSure);
    }
    if (!bEof) return KivCheckVerdict::Broken(n, nSure);
    // Every offset of the tables lands on the object it names.
    for (const auto& [num, off] : refs) {
        if (off < nResumed) continue;
        auto it = objects.find(off);
        if (it == objects.end() || it->second != num) return KivCheckVerdict::Broken(std::min<uint64_t>(off + 24, n), 0);
    }
    return KivCheckVerdict::Whole();
}

}  // namespace

KivCheckVerdict CKivPdfCheck::Check(std::span<const uint8_t> d, const KivCheckPoint* pFrom,
                                    std::vector<KivCheckPoint>* pPoints) {
    if (!KivBytesAt(d, 0, "%PDF-")) return KivCheckVerdict::Unchecked();
    size_t p = pFrom ? static_cast<size_t>(pFrom->nOffset) : 0;
    Walker w(d);
    return w.Run(p, pPoints);
}
