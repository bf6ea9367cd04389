#include "CKivDdrescueMap.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/KivAtomicFile.h"

namespace {

bool IsBlockStatus(char c) { return std::strchr("?*/-+", c) != nullptr && c; }
bool IsPassStatus(char c) { return std::strchr("?*/-FG+", c) != nullptr && c; }

// The fields of one line, split at blanks; a '#' starts a comment.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line.substr(0, line.find('#')));
    for (std::string f; in >> f;) out.push_back(f);
    return out;
}

// A number as ddrescue writes it (0x hex, or decimal).
bool Number(const std::string& s, uint64_t* pOut) {
    if (s.empty() || s[0] == '-' || s[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno || !end || *end) return false;
    *pOut = v;
    return true;
}

}  // namespace

bool CKivDdrescueMap::Parse(const std::string& strText, std::string* pError) {
    m_blocks.clear();
    m_bChanged = false;
    bool bStatusSeen = false;
    std::istringstream in(strText);
    std::string line;
    auto fail = [&](size_t nLine, const std::string& why) {
        if (pError) *pError = "line " + std::to_string(nLine) + ": " + why;
        m_blocks.clear();
        return false;
    };
    for (size_t nLine = 1; std::getline(in, line); ++nLine) {
        std::vector<std::string> f = Fields(line);
        if (f.empty()) continue;
        if (!bStatusSeen) {
            // The status line: current position, current status, and (since 1.20) the pass.
            uint64_t pos = 0, pass = 0;
            if (f.size() < 2 || f.size() > 3 || !Number(f[0], &pos) || f[1].size() != 1 || !IsPassStatus(f[1][0]))
                return fail(nLine, "not the status line of a ddrescue mapfile");
            if (f.size() == 3 && (!Number(f[2], &pass) || pass > 0x7FFFFFFF)) return fail(nLine, "bad pass number");
            m_nCurrentPos = pos;
            m_cCurrentStatus = f[1][0];
            m_nCurrentPass = f.size() == 3 ? static_cast<int>(pass) : -1;
            bStatusSeen = true;
            continue;
        }
        Block b;
        if (f.size() != 3 || !Number(f[0], &b.nPos) || !Number(f[1], &b.nSize) || f[2].size() != 1 ||
            !IsBlockStatus(f[2][0]))
            return fail(nLine, "not a block line (pos size status)");
        b.cStatus = f[2][0];
        if (b.nSize == 0 || b.nPos + b.nSize < b.nPos) return fail(nLine, "empty or overflowing block");
        if (!m_blocks.empty() && b.nPos != End()) return fail(nLine, "block does not follow the one before it");
        m_blocks.push_back(b);
    }
    if (!bStatusSeen) return fail(1, "no status line: not a ddrescue mapfile");
    return true;
}

bool CKivDdrescueMap::Load(const std::string& strPath, std::string* pError) {
    std::ifstream f(strPath, std::ios::binary);
    if (!f) {
        if (pError) *pError = std::strerror(errno);
        return false;
    }
    std::stringstream s;
    s << f.rdbuf();
    return Parse(s.str(), pError);
}

std::string CKivDdrescueMap::Format() const {
    std::vector<Block> blocks = m_blocks;
    if (m_bChanged) {
        std::vector<Block> joined;
        for (const Block& b : blocks) {
            if (!joined.empty() && joined.back().cStatus == b.cStatus) joined.back().nSize += b.nSize;
            else joined.push_back(b);
        }
        blocks = std::move(joined);
    }
    std::string out = "# Mapfile. Written by undelia-cli: '-' sectors it could not read, '?' areas it left untried\n";
    char line[96];
    out += "# current_pos  current_status  current_pass\n";
    if (m_nCurrentPass >= 0)
        std::snprintf(line, sizeof line, "0x%08llX     %c               %d\n",
                      static_cast<unsigned long long>(m_nCurrentPos), m_cCurrentStatus, m_nCurrentPass);
    else
        std::snprintf(line, sizeof line, "0x%08llX     %c\n", static_cast<unsigned long long>(m_nCurrentPos),
                      m_cCurrentStatus);
    out += line;
    out += "#      pos        size  status\n";
    for (const Block& b : blocks) {
        std::snprintf(line, sizeof line, "0x%08llX  0x%08llX  %c\n", static_cast<unsigned long long>(b.nPos),
                      static_cast<unsigned long long>(b.nSize), b.cStatus);
        out += line;
    }
    return out;
}

bool CKivDdrescueMap::Save(const std::string& strPath, std::string* pError) const {
    auto fail = [&](const std::string& why) {
        if (pError) *pError = why;
        return false;
    };
    // Replaced whole or not at all: a run killed while writing leaves the previous map.
    std::string text = Format();
    std::string why;
    if (!KivWriteFileAtomic(strPath, {{text.data(), text.size()}}, &why)) return fail(why);
    return true;
}

void CKivDdrescueMap::Reset(uint64_t nBytes, uint64_t nRead) {
    m_blocks.clear();
    nRead = std::min(nRead, nBytes);
    if (nRead) m_blocks.push_back({0, nRead, '+'});
    if (nBytes > nRead) m_blocks.push_back({nRead, nBytes - nRead, '?'});
    // A rescue that goes on from this map starts with the parts not tried.
    m_nCurrentPos = 0;
    m_cCurrentStatus = '?';
    m_nCurrentPass = 1;
    m_bChanged = true;
}

void CKivDdrescueMap::MarkWhereRescued(uint64_t nPos, uint64_t nEnd, char cStatus) {
    if (nPos >= nEnd) return;
    if (nPos > End()) m_blocks.push_back({End(), nPos - End(), '+'});
    if (nEnd > End()) m_blocks.push_back({End(), nEnd - End(), '+'});
    std::vector<Block> out;
    out.reserve(m_blocks.size() + 2);
    for (const Block& b : m_blocks) {
        uint64_t bEnd = b.nPos + b.nSize;
        if (b.cStatus != '+' || bEnd <= nPos || b.nPos >= nEnd) {
            out.push_back(b);
            continue;
        }
        uint64_t f = std::max(b.nPos, nPos), e = std::min(bEnd, nEnd);
        if (f > b.nPos) out.push_back({b.nPos, f - b.nPos, '+'});
        out.push_back({f, e - f, cStatus});
        if (bEnd > e) out.push_back({e, bEnd - e, '+'});
        m_bChanged = true;
    }
    m_blocks = std::move(out);
}

KivBadRanges CKivDdrescueMap::NotRescued(uint32_t nSectorSize, uint64_t nSectors) const {
    KivBadRanges out;
    if (!nSectorSize) return out;
    for (const Block& b : m_blocks) {
        if (b.cStatus == '+') continue;
        uint64_t f = b.nPos / nSectorSize;
        uint64_t e = b.nPos / nSectorSize + (b.nSize + b.nPos % nSectorSize + nSectorSize - 1) / nSectorSize;
        e = std::min(e, nSectors);
        if (f >= e) continue;
        if (!out.empty() && out.back().nEnd >= f) out.back().nEnd = std::max(out.back().nEnd, e);
        else out.push_back({f, e, KIV_BAD_FAILED});
    }
    return out;
}
