#include "CKivFatDirEntry.h"

#include <cstring>
#include <ctime>

#include "KivByteReader.h"
#include "KivFatSettings.h"
#include "platform/KivPlatform.h"

namespace {

// Code page 437, bytes 0x80..0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

bool DateOk(uint16_t d) { return d == 0 || (((d >> 5) & 0xF) >= 1 && ((d >> 5) & 0xF) <= 12 && (d & 0x1F) != 0); }
bool TimeOk(uint16_t t) { return t == 0 || (t <= 0xBFFF && ((t >> 5) & 0x3F) < 60 && (t & 0x1F) < 30); }

bool NameByteAllowed(uint8_t c) { return c > 25 && !std::strchr("\"*/:<>?\\|", c); }

std::string Trimmed(const uint8_t* p, size_t n, bool bLower) {
    while (n && p[n - 1] == ' ') --n;
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        if (bLower && c >= 'A' && c <= 'Z') c = static_cast<uint8_t>(c - 'A' + 'a');
        KivAppendCp437(&s, c);
    }
    return s;
}

}  // namespace

void KivAppendCp437(std::string* pOut, uint8_t c) {
    if (c < 0x80) {
        pOut->push_back(static_cast<char>(c));
        return;
    }
    *pOut += KivUtf16ToUtf8(std::u16string(1, kCp437High[c - 0x80]));
}

bool CKivFatDirEntry::Decode(std::span<const uint8_t> bytes) {
    KivByteReader r(bytes);
    if (!r.Bytes(m_name, 11)) return false;
    m_nAttr = r.U8();
    m_nCase = r.U8();
    r.Skip(1);
    m_nCTime = r.U16();
    m_nCDate = r.U16();
    m_nADate = r.U16();
    m_nClusterHi = r.U16();
    m_nMTime = r.U16();
    m_nMDate = r.U16();
    m_nClusterLo = r.U16();
    m_nSize = r.U32();
    return r.Ok();
}

bool CKivFatDirEntry::IsDot() const { return std::memcmp(m_name, ".          ", 11) == 0; }
bool CKivFatDirEntry::IsDotDot() const { return std::memcmp(m_name, "..         ", 11) == 0; }

bool CKivFatDirEntry::IsPlausible(bool bStrict) const {
    if (IsLongName()) return true;
    if (bStrict) {
        bool bNoCluster = m_nClusterHi == 0 && m_nClusterLo == 0;
        if (IsDirectory()) {
            if (m_nSize != 0 && m_nClusterHi != 0) return false;
        } else if (!IsLabel() && ((bNoCluster && m_nSize != 0) || (!bNoCluster && m_nSize == 0))) {
            return false;
        }
    }
    const KivFatSettings& s = KivFatSettings::Get();
    if (s.bDateCheck && !(DateOk(m_nCDate) && DateOk(m_nMDate) && DateOk(m_nADate))) return false;
    if (s.bTimeCheck && !(TimeOk(m_nCTime) && TimeOk(m_nMTime))) return false;
    if (m_nAttr & 0x40) return false;
    if (IsLabel()) return true;
    if (m_name[0] == ' ') return false;
    for (size_t i = 0; i < 11; ++i) {
        if (m_name[i] >= 0x80) {
            ++i;  // lead byte: the next byte is part of the same character
            continue;
        }
        if (!NameByteAllowed(m_name[i])) return false;
    }
    return true;
}

std::string CKivFatDirEntry::ShortName(uint8_t cFirst) const {
    uint8_t name[11];
    std::memcpy(name, m_name, 11);
    if (name[0] == kDeletedMark) name[0] = cFirst;
    else if (name[0] == 0x05) name[0] = kDeletedMark;  // a real 0xE5 first byte is stored as 0x05
    std::string base = Trimmed(name, 8, m_nCase & 0x08);
    std::string ext = Trimmed(name + 8, 3, m_nCase & 0x10);
    return ext.empty() ? base : base + "." + ext;
}

std::string CKivFatDirEntry::LabelText() const { return Trimmed(m_name, 8, false) + Trimmed(m_name + 8, 3, false); }

uint8_t CKivFatDirEntry::Checksum(uint8_t cFirst) const {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) {
        uint8_t c = i == 0 ? cFirst : m_name[i];
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    }
    return sum;
}

uint64_t CKivFatDirEntry::DosToFileTime(uint16_t nDate, uint16_t nTime) {
    unsigned nDay = nDate & 0x1F, nMonth = (nDate >> 5) & 0xF, nYear = 1980 + (nDate >> 9);
    unsigned nSec = (nTime & 0x1F) * 2, nMin = (nTime >> 5) & 0x3F, nHour = nTime >> 11;
    if (nDay == 0 || nMonth == 0 || nMonth > 12 || nHour > 23 || nMin > 59 || nSec > 59) return 0;
    std::tm tm{};
    tm.tm_year = static_cast<int>(nYear) - 1900;
    tm.tm_mon = static_cast<int>(nMonth) - 1;
    tm.tm_mday = static_cast<int>(nDay);
    tm.tm_hour = static_cast<int>(nHour);
    tm.tm_min = static_cast<int>(nMin);
    tm.tm_sec = static_cast<int>(nSec);
    tm.tm_isdst = -1;
    std::time_t t = std::mktime(&tm);  // FAT keeps local time
    if (t == static_cast<std::time_t>(-1)) return 0;
    return KivUnixToFileTime(t);
}
