#include "CKivRecoveryReport.h"

#include <algorithm>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "CKivOutputGuard.h"
#include "CKivResultController.h"
#include "IKivDevStor.h"
#include "KivScanResult.h"
#include "KivUiTexts.h"
#include "KivVersion.h"
#include "platform/KivDigest.h"
#include "platform/KivFile.h"
#include "platform/KivFileUtil.h"
#include "platform/KivPlatform.h"

namespace {

std::string Hex(const std::vector<uint8_t>& d) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t b : d) {
        s += kDigits[b >> 4];
        s += kDigits[b & 15];
    }
    return s;
}

// Multiplication that reports overflow instead of wrapping: run values come from the medium.
bool Mul(uint64_t a, uint64_t b, uint64_t* p) { return !__builtin_mul_overflow(a, b, p); }

const char* StateOf(IKivFileAttr* pAttr) {
    if (pAttr->GetAttrKind() == KIV_ATTR_RAW) return "carved";
    return (pAttr->GetRecordState() & KIV_REC_DELETED) ? "deleted" : "live";
}

// Length of the UTF-8 sequence at s[i] when it is well formed and XML may hold its character, else 0.
size_t XmlCharLen(const std::string& s, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    if (c < 0x80) return (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') ? 1 : 0;
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4 || i + n > s.size()) return 0;
    uint32_t cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (b(i + k) & 0x3F);
    }
    bool bShortest = (n == 2) || (n == 3 && cp >= 0x800) || (n == 4 && cp >= 0x10000);
    bool bAllowed = (cp < 0xD800 || (cp > 0xDFFF && cp < 0xFFFE)) || (cp >= 0x10000 && cp <= 0x10FFFF);
    return bShortest && bAllowed ? n : 0;
}

// The engine's placeholder folders carry a marker name (and maybe a number after it): shown as
// "[carved]" and "[lost]", as no folder of the medium could be named.
std::string ComponentName(const char* pszName) {
    static const struct {
        const char* pszMarker;
        const char* pszShown;
    } kMarkers[] = {{KIV_NAME_RAW_ROOT, "[carved]"}, {KIV_NAME_LOST_DIR, "[lost]"}};
    for (const auto& m : kMarkers) {
        size_t n = std::strlen(m.pszMarker);
        if (KivStrNICmp(pszName, m.pszMarker, n) == 0) return std::string(m.pszShown) + (pszName + n);
    }
    return pszName;
}

// A path as the report names it: absolute, so that the report still says where a file went when
// it is read from another folder (as given when the current folder cannot be had).
std::string Absolute(const std::string& strPath) {
    if (strPath.empty()) return strPath;
    std::string s = KivAbsolutePath(strPath);
    return s.empty() ? strPath : s;
}

nlohmann::json RunsJson(const KivReportFile& f) {
    nlohmann::json arr = nlohmann::json::array();
    for (const KivReportRun& r : f.runs) {
        nlohmann::json j = {{"file_offset", r.nFileOffset}, {"length", r.nLength}};
        if (r.bFill) {
            j["fill"] = 0;
        } else {
            j["offset"] = r.nImgOffset;
        }
        arr.push_back(std::move(j));
    }
    return arr;
}

// A joined file's pieces in device sectors, in file order.
nlohmann::json PiecesJson(const KivReportFile& f, uint32_t nSectorSize) {
    nlohmann::json arr = nlohmann::json::array();
    for (const KivReportRun& r : f.runs)
        if (!r.bFill && nSectorSize)
            arr.push_back({{"sector", r.nImgOffset / nSectorSize}, {"sectors", (r.nLength + nSectorSize - 1) / nSectorSize}});
    return arr;
}

nlohmann::json TimeJson(uint64_t ft) {
    std::string s = CKivRecoveryReport::FileTimeText(ft);
    return s.empty() ? nlohmann::json(nullptr) : nlohmann::json(s);
}

}  // namespace

void CKivRecoveryReport::SetSource(const std::string& strDevice, uint64_t nBytes, uint32_t nSectorSize) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_strDevice = Absolute(strDevice);
    m_nBytes = nBytes;
    m_nSectorSize = nSectorSize ? nSectorSize : 512;
    m_container = KivIsFile(m_strDevice) ? CKivImageContainer::Describe(m_strDevice) : KivImageDescription{};
}

void CKivRecoveryReport::SetContainer(const KivImageDescription& container) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_container = container;
}

void CKivRecoveryReport::SetProgram(const std::string& strProgram, const std::string& strCommandLine) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_strProgram = strProgram;
    m_strCommandLine = strCommandLine;
}

void CKivRecoveryReport::AddPartition(const KivReportPartition& part) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_parts.push_back(part);
}

void CKivRecoveryReport::AddBadArea(const KivReportBadArea& area) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_bad.push_back(area);
}

void CKivRecoveryReport::SetScan(IKivDevStor* pDev, const std::string& strPath,
                                 const std::vector<CKivScanResPart*>& parts, const std::vector<int>& numbers) {
    if (pDev) SetSource(strPath, pDev->GetSectorCount() * pDev->GetSectorSize(), pDev->GetSectorSize());
    for (size_t i = 0; i < parts.size(); ++i) {
        const CKivScanResPart* p = parts[i];
        AddPartition({KivFsTypeName(p->m_nType), p->m_nFirstSector, p->m_nSectorCount, p->m_nSectorSize,
                      p->m_nSelected != 0, i < numbers.size() ? numbers[i] : -1, p->m_nDataStart});
    }
}

void CKivRecoveryReport::TakeBadAreas(IKivDevStor* pDev) {
    KivBadRanges bad;
    if (pDev && pDev->GetBadAreas(&bad))
        for (const KivBadRange& b : bad)
            AddBadArea({b.nFirst, b.nEnd - b.nFirst, b.nKind == KIV_BAD_UNTRIED ? "untried" : "failed"});
}

void CKivRecoveryReport::SetTimes(time_t tStarted, time_t tFinished) {
    std::lock_guard<std::mutex> lk(m_mtx);
    m_tStarted = tStarted;
    m_tFinished = tFinished;
}

std::vector<KivReportFile> CKivRecoveryReport::Files() const {
    std::lock_guard<std::mutex> lk(m_mtx);
    return m_files;
}

KivReportFile CKivRecoveryReport::Describe(IKivFileNode* pNode, const std::string& strOutput) const {
    KivReportFile f;
    f.strOutput = Absolute(strOutput);
    IKivFileAttr* pAttr = pNode ? pNode->GetAttr() : nullptr;
    if (!pAttr) return f;
    // The path up to the partition node, which names the partition.
    std::vector<std::string> names;
    for (IKivFileNode* p = pNode; p; p = p->GetParent()) {
        if (p->IsFsNode()) {
            if (p->GetAttr()) f.strPartition = p->GetAttr()->GetName();
            break;
        }
        if (p->GetAttr()) names.push_back(ComponentName(p->GetAttr()->GetName()));
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it) f.strOriginal += (f.strOriginal.empty() ? "" : "/") + *it;
    f.nSize = pAttr->GetSize();
    f.strState = StateOf(pAttr);
    f.bReconstructed = (pAttr->GetRecordState() & KIV_REC_RECONSTRUCTED) != 0;
    f.bJoined = (pAttr->GetRecordState() & KIV_REC_JOINED) != 0;
    uint32_t nValid = pAttr->GetValidFields();
    if (nValid & KIV_VALID_CTIME) f.nCreated = pAttr->GetCreationTime();
    if (nValid & KIV_VALID_MTIME) f.nModified = pAttr->GetModificationTime();
    if (nValid & KIV_VALID_ATIME) f.nAccessed = pAttr->GetAccessTime();
    uint32_t nSectorSize;
    uint64_t nBase = 0;
    uint32_t nSpc = 0;
    bool bBase = pNode->GetPartInfo(&nBase, &nSpc) != 0;
    {
        std::lock_guard<std::mutex> lk(m_mtx);
        nSectorSize = m_nSectorSize;
        // The partition a file lies in is the one its clusters count from (a selected one first).
        for (int bSelected = 1; bBase && f.nPartNumber < 0 && bSelected >= 0; --bSelected)
            for (const KivReportPartition& p : m_parts)
                if (p.nDataStart == nBase && p.bSelected == (bSelected != 0) && p.nNumber >= 0) {
                    f.nPartNumber = p.nNumber;
                    break;
                }
    }
    f.runs = ByteRuns(pNode, nSectorSize, &f.strRunsKind);
    return f;
}

void CKivRecoveryReport::OnWritten(IKivFileNode* pNode, const std::string& strOutput, const std::string& strDamage) {
    KivReportFile f = Describe(pNode, strOutput);
    f.bDamaged = !strDamage.empty();
    f.strReason = strDamage;
    if (!HashFile(strOutput, &f.strSha256, &f.strMd5, &f.nWritten)) {
        f.bDamaged = true;
        f.strReason = (f.strReason.empty() ? "" : f.strReason + "; ") + "the written file cannot be read back";
    }
    std::lock_guard<std::mutex> lk(m_mtx);
    m_files.push_back(std::move(f));
}

void CKivRecoveryReport::OnFailed(IKivFileNode* pNode, const std::string& strOutput, const std::string& strReason) {
    KivReportFile f = Describe(pNode, strOutput);
    f.bFailed = true;
    f.strReason = strReason.empty() ? "failed" : strReason;
    std::lock_guard<std::mutex> lk(m_mtx);
    m_files.push_back(std::move(f));
}

void CKivRecoveryReport::FollowRenames(const std::vector<std::pair<std::string, std::string>>& renamed) {
    // The folders are named as the recovery was given them; the outputs are kept absolute.
    std::vector<std::pair<std::string, std::string>> abs;
    for (const auto& [from, to] : renamed) abs.emplace_back(Absolute(from), Absolute(to));
    std::lock_guard<std::mutex> lk(m_mtx);
    for (KivReportFile& f : m_files) KivFollowRename(&f.strOutput, abs);
}

bool CKivRecoveryReport::HashFile(const std::string& strPath, std::string* pSha256, std::string* pMd5,
                                  uint64_t* pBytes) {
    CKivFile f;
    if (!f.Open(strPath, CKivFile::Mode::kRead, true)) return false;
    CKivDigest sha(CKivDigest::Kind::kSha256), md5(CKivDigest::Kind::kMd5);
    bool bOk = sha.Ok() && md5.Ok();
    // One buffer per thread, not one per file: a recovery of many small files hashes each of them.
    static thread_local std::vector<unsigned char> buf(1 << 20);
    uint64_t nTotal = 0;
    while (bOk) {
        int64_t n = f.Read(buf.data(), buf.size());
        if (n <= 0) {
            bOk = n == 0;
            break;
        }
        nTotal += static_cast<uint64_t>(n);
        sha.Add(buf.data(), static_cast<size_t>(n));
        md5.Add(buf.data(), static_cast<size_t>(n));
        bOk = sha.Ok() && md5.Ok();
    }
    f.Close();
    std::vector<uint8_t> dSha = bOk ? sha.Finish() : std::vector<uint8_t>();
    std::vector<uint8_t> dMd5 = bOk ? md5.Finish() : std::vector<uint8_t>();
    if (dSha.empty() || dMd5.empty()) return false;
    *pSha256 = Hex(dSha);
    *pMd5 = Hex(dMd5);
    *pBytes = nTotal;
    return true;
}

std::vector<KivReportRun> CKivRecoveryReport::ByteRuns(IKivFileNode* pNode, uint32_t nSectorSize, std::string* pKind) {
    std::vector<KivReportRun> out;
    pKind->clear();
    IKivFileAttr* pAttr = pNode->GetAttr();
    uint64_t nBase = 0;
    uint32_t nSpc = 0;
    if (!pAttr || !pNode->GetPartInfo(&nBase, &nSpc) || nSpc == 0) return out;
    std::unique_ptr<IDataRunList> runs(pAttr->GetDataRunList());
    if (!runs) return out;
    uint64_t nLeft = pAttr->GetSize();
    const uint16_t nFlags = pAttr->GetAttributes();
    if (runs->IsResident()) {
        *pKind = "resident";
        const KivDataRun* r = runs->First();
        uint64_t nSector = 0, nOff = 0;
        if (r && !__builtin_add_overflow(nBase, r->nStart, &nSector) && Mul(nSector, nSectorSize, &nOff) &&
            !__builtin_add_overflow(nOff, runs->GetResidentValue(), &nOff))
            out.push_back({0, nOff, r->nLength, false});
        return out;
    }
    if (nFlags & KIV_FA_COMPRESSED) *pKind = "compressed";
    else if (nFlags & KIV_FA_ENCRYPTED) *pKind = "encrypted";
    const bool bAsStored = !pKind->empty();
    uint64_t nUnit = 0;
    if (!Mul(nSpc, nSectorSize, &nUnit)) return out;
    uint64_t nFilePos = 0;
    for (const KivDataRun* r = runs->First(); r && (bAsStored || nLeft); r = runs->Next()) {
        uint64_t nLen = 0;
        if (!Mul(r->nLength, nUnit, &nLen)) nLen = ~0ull;
        if (!bAsStored) nLen = std::min(nLen, nLeft);
        KivReportRun run{nFilePos, 0, nLen, r->nStart == KIV_SPARSE_RUN};
        uint64_t nSector = 0;
        if (!run.bFill && (!Mul(r->nStart, nSpc, &nSector) || __builtin_add_overflow(nSector, nBase, &nSector) ||
                           !Mul(nSector, nSectorSize, &run.nImgOffset)))
            break;  // a run that lies nowhere on the device: the recovery wrote zeros for it
        out.push_back(run);
        nFilePos += nLen;
        if (!bAsStored) nLeft -= nLen;
    }
    return out;
}

std::string CKivRecoveryReport::FileTimeText(uint64_t nFileTime) {
    if (nFileTime == 0) return {};
    int64_t nSec = 0;
    uint32_t nNsec = 0;
    KivFileTimeToUnix(nFileTime, &nSec, &nNsec);
    struct tm tmv {};
    if (!KivUtcTime(nSec, &tmv)) return {};
    char sz[48];
    std::strftime(sz, sizeof sz, "%Y-%m-%dT%H:%M:%S", &tmv);
    std::string s = sz;
    // The fraction as far as the file system kept it (FAT's 2 s none, exFAT's 10 ms two digits,
    // NTFS's 100 ns up to seven).
    if (uint32_t n100 = nNsec / 100) {
        std::snprintf(sz, sizeof sz, ".%07u", n100);
        std::string frac = sz;
        while (frac.back() == '0') frac.pop_back();
        s += frac;
    }
    return s + "Z";
}

std::string CKivRecoveryReport::ClockText(time_t t) {
    struct tm tmv {};
    if (!KivLocalTime(static_cast<int64_t>(t), &tmv)) return {};
    char sz[48];
    std::strftime(sz, sizeof sz, "%Y-%m-%dT%H:%M:%S", &tmv);
    // ISO 8601 writes the offset with a colon: +02:00.
    int32_t off = KivUtcOffset(static_cast<int64_t>(t));
    int32_t a = off < 0 ? -off : off;
    char tz[16];
    std::snprintf(tz, sizeof tz, "%c%02d:%02d", off < 0 ? '-' : '+', static_cast<int>(a / 3600),
                  static_cast<int>(a / 60 % 60));
    return std::string(sz) + tz;
}

std::string CKivRecoveryReport::XmlText(const std::string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        size_t n = XmlCharLen(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        switch (s[i]) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out.append(s, i, n);
        }
        i += n;
    }
    return out;
}

std::string CKivRecoveryReport::ToJson() const {
    std::lock_guard<std::mutex> lk(m_mtx);
    nlohmann::json parts = nlohmann::json::array(), bad = nlohmann::json::array(), files = nlohmann::json::array();
    auto number = [](int n) { return n < 0 ? nlohmann::json(nullptr) : nlohmann::json(n); };
    for (const KivReportPartition& p : m_parts)
        parts.push_back({{"partition_number", number(p.nNumber)},
                         {"type", p.strType},
                         {"first_sector", p.nFirstSector},
                         {"sectors", p.nSectors},
                         {"sector_size", p.nSectorSize},
                         {"selected", p.bSelected}});
    for (const KivReportBadArea& b : m_bad)
        bad.push_back({{"first_sector", b.nFirstSector}, {"sectors", b.nSectors}, {"kind", b.strKind}});
    uint64_t nDamaged = 0, nFailed = 0;
    for (const KivReportFile& f : m_files) {
        nDamaged += f.bDamaged;
        nFailed += f.bFailed;
        nlohmann::json j = {{"output", f.strOutput},
                            {"original_path", f.strOriginal},
                            {"partition", f.strPartition},
                            {"partition_number", number(f.nPartNumber)},
                            {"size", f.nSize},
                            {"state", f.strState},
                            {"reconstructed", f.bReconstructed},
                            {"created", TimeJson(f.nCreated)},
                            {"modified", TimeJson(f.nModified)},
                            {"accessed", TimeJson(f.nAccessed)},
                            {"runs_kind", f.strRunsKind.empty() ? "data" : f.strRunsKind},
                            {"byte_runs", RunsJson(f)},
                            {"damaged", f.bDamaged},
                            {"failed", f.bFailed},
                            {"reason", f.strReason}};
        j["joined"] = f.bJoined;
        if (f.bJoined) j["pieces"] = PiecesJson(f, m_nSectorSize);
        if (!f.bFailed) j["written"] = f.nWritten;
        if (!f.bFailed && !f.strSha256.empty()) {
            j["sha256"] = f.strSha256;
            j["md5"] = f.strMd5;
        }
        files.push_back(std::move(j));
    }
    nlohmann::json device = {{"path", m_strDevice}, {"size", m_nBytes}, {"sector_size", m_nSectorSize}};
    if (m_container.IsContainer()) {
        nlohmann::json files = nlohmann::json::array();
        for (const std::string& f : m_container.files) files.push_back(Absolute(f));
        auto text = [](const std::string& v) { return v.empty() ? nlohmann::json(nullptr) : nlohmann::json(v); };
        auto match = [](int n) { return n < 0 ? nlohmann::json(nullptr) : nlohmann::json(n == 1); };
        device["container"] = {{"format", m_container.strFormat},      {"detail", m_container.strDetail},
                               {"files", std::move(files)},            {"stored_md5", text(m_container.strMd5)},
                               {"stored_sha1", text(m_container.strSha1)}, {"md5_matches", match(m_container.nMd5Match)},
                               {"sha1_matches", match(m_container.nSha1Match)}};
    }
    nlohmann::json j = {
        {"report", "undelia recovery report"},
        {"format_version", 1},
        {"program", {{"name", m_strProgram}, {"version", UNDELIA_VERSION}, {"command_line", m_strCommandLine}}},
        {"started", ClockText(m_tStarted)},
        {"finished", ClockText(m_tFinished)},
        {"device", std::move(device)},
        {"partitions", std::move(parts)},
        {"bad_areas", std::move(bad)},
        {"totals", {{"files", m_files.size() - nFailed}, {"damaged", nDamaged}, {"failed", nFailed}}},
        {"files", std::move(files)}};
    // Names from a damaged medium need not be valid UTF-8: replaced, never a refusal to write.
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::string CKivRecoveryReport::ToDfxml() const {
    std::lock_guard<std::mutex> lk(m_mtx);
    std::ostringstream x;
    auto el = [&](const char* pszIndent, const char* pszName, const std::string& v) {
        if (!v.empty()) x << pszIndent << '<' << pszName << '>' << XmlText(v) << "</" << pszName << ">\n";
    };
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<dfxml xmlns=\"http://www.forensicswiki.org/wiki/Category:Digital_Forensics_XML\"\n"
      << "       xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
      << "       xmlns:undelia=\"urn:undelia:recovery-report:1\" version=\"1.2.0\">\n"
      << "  <metadata>\n    <dc:type>Recovery report</dc:type>\n  </metadata>\n"
      << "  <creator version=\"1.0\">\n";
    el("    ", "program", m_strProgram);
    el("    ", "version", UNDELIA_VERSION);
    x << "    <execution_environment>\n";
    el("      ", "command_line", m_strCommandLine);
    el("      ", "start_time", ClockText(m_tStarted));
    el("      ", "end_time", ClockText(m_tFinished));
    x << "    </execution_environment>\n  </creator>\n  <source>\n";
    el("    ", "image_filename", m_strDevice);
    x << "    <image_size>" << m_nBytes << "</image_size>\n"
      << "    <sectorsize>" << m_nSectorSize << "</sectorsize>\n  </source>\n";
    for (const KivReportBadArea& b : m_bad)
        x << "  <undelia:bad_area first_sector=\"" << b.nFirstSector << "\" sectors=\"" << b.nSectors
          << "\" kind=\"" << XmlText(b.strKind) << "\"/>\n";
    for (const KivReportPartition& p : m_parts) {
        uint64_t nOffset = 0;
        x << "  <volume";
        // Partition fields come from the medium's tables: a product that does not fit says nothing.
        if (Mul(p.nFirstSector, p.nSectorSize, &nOffset)) x << " offset=\"" << nOffset << "\"";
        x << ">\n";
        el("    ", "ftype_str", p.strType);
        x << "    <sector_size>" << p.nSectorSize << "</sector_size>\n"
          << "    <block_count>" << p.nSectors << "</block_count>\n"
          << "    <undelia:selected>" << (p.bSelected ? 1 : 0) << "</undelia:selected>\n";
        if (p.nNumber >= 0) x << "    <undelia:partition_number>" << p.nNumber << "</undelia:partition_number>\n";
        x << "  </volume>\n";
    }
    for (const KivReportFile& f : m_files) {
        x << "  <fileobject>\n";
        el("    ", "filename", f.strOriginal);
        x << "    <filesize>" << f.nSize << "</filesize>\n";
        if (f.strState != "carved") x << "    <alloc>" << (f.strState == "live" ? 1 : 0) << "</alloc>\n";
        el("    ", "mtime", FileTimeText(f.nModified));
        el("    ", "atime", FileTimeText(f.nAccessed));
        el("    ", "crtime", FileTimeText(f.nCreated));
        if (!f.runs.empty()) {
            x << "    <byte_runs>\n";
            for (const KivReportRun& r : f.runs) {
                x << "      <byte_run file_offset=\"" << r.nFileOffset << "\"";
                if (r.bFill) x << " fill=\"0\"";
                else x << " img_offset=\"" << r.nImgOffset << "\"";
                x << " len=\"" << r.nLength << "\"";
                if (!f.strRunsKind.empty()) x << " type=\"" << f.strRunsKind << "\"";
                x << "/>\n";
            }
            x << "    </byte_runs>\n";
        }
        if (!f.strSha256.empty()) {
            x << "    <hashdigest type=\"sha256\">" << f.strSha256 << "</hashdigest>\n"
              << "    <hashdigest type=\"md5\">" << f.strMd5 << "</hashdigest>\n";
        }
        el("    ", "undelia:output", f.strOutput);
        el("    ", "undelia:partition", f.strPartition);
        if (f.nPartNumber >= 0)
            x << "    <undelia:partition_number>" << f.nPartNumber << "</undelia:partition_number>\n";
        x << "    <undelia:state>" << f.strState << "</undelia:state>\n";
        if (f.bReconstructed) x << "    <undelia:reconstructed>1</undelia:reconstructed>\n";
        if (f.bJoined) x << "    <undelia:joined>1</undelia:joined>\n";
        if (f.bDamaged) x << "    <undelia:damaged>1</undelia:damaged>\n";
        if (f.bFailed) x << "    <undelia:failed>1</undelia:failed>\n";
        el("    ", "undelia:reason", f.strReason);
        x << "  </fileobject>\n";
    }
    x << "</dfxml>\n";
    return x.str();
}

bool CKivRecoveryReport::Save(const std::string& strPath, std::string* pErr) const {
    std::string strSource;
    {
        std::lock_guard<std::mutex> lk(m_mtx);
        strSource = m_strDevice;
    }
    if (KivOutputVerdict v = CKivOutputGuard::Check(strSource, strPath, KivOutput::kReport); v.bRefused) {
        if (pErr) *pErr = v.strText;
        return false;
    }
    bool bXml = strPath.size() >= 4 && KivStrICmp(strPath.c_str() + strPath.size() - 4, ".xml") == 0;
    std::string text = bXml ? ToDfxml() : ToJson();
    std::string tmp = strPath + ".part";
    CKivFile f;
    auto fail = [&](int e) {
        if (pErr) *pErr = "cannot write the report '" + strPath + "': " + std::strerror(e);
        f.Close();
        KivRemoveFile(tmp);
        return false;
    };
    if (!f.Open(tmp, CKivFile::Mode::kCreateTrunc, true)) return fail(errno);
    if (!f.WriteAll(text.data(), text.size()) || !f.Sync() || !f.Close()) return fail(errno);
    if (!KivRenamePath(tmp, strPath)) return fail(errno);
    return true;
}
