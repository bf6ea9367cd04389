#include "CKivFatLongName.h"

#include "KivByteReader.h"
#include "platform/KivPlatform.h"

void CKivFatLongName::Reset() {
    m_parts.clear();
    m_nNext = 0;
    m_bDeleted = false;
    m_bBroken = true;
}

void CKivFatLongName::Add(std::span<const uint8_t> raw) {
    KivByteReader r(raw);
    if (!r.Has(0, CKivFatDirEntry::kSize)) {
        Reset();
        return;
    }
    uint8_t nOrd = r.U8At(0);
    uint8_t nSum = r.U8At(13);
    bool bDeleted = nOrd == CKivFatDirEntry::kDeletedMark;
    if (bDeleted) {
        // A deleted run is a row of marked entries with one checksum.
        if (m_parts.empty() || !m_bDeleted || nSum != m_nChecksum || m_parts.size() >= kMaxParts) {
            Reset();
            m_bDeleted = true;
            m_nChecksum = nSum;
        }
        m_bBroken = false;
    } else if (nOrd & 0x40) {
        Reset();
        int n = nOrd & 0x1F;
        if (n < 1 || n > static_cast<int>(kMaxParts)) return;
        m_nChecksum = nSum;
        m_nNext = n - 1;
        m_bBroken = false;
    } else {
        if (m_bBroken || m_bDeleted || (nOrd & 0x1F) != m_nNext || m_nNext < 1 || nSum != m_nChecksum) {
            Reset();
            return;
        }
        --m_nNext;
    }
    std::u16string part;
    for (size_t off : {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30}) part.push_back(r.U16At(off));
    m_parts.push_back(std::move(part));
}

std::string CKivFatLongName::Take(const CKivFatDirEntry& entry, uint8_t* pFirstByte) {
    *pFirstByte = 0;
    std::string out;
    bool bOk = !m_bBroken && !m_parts.empty();
    if (bOk && !m_bDeleted) {
        bOk = m_nNext == 0 && !entry.IsDeleted() && entry.Checksum(entry.m_name[0]) == m_nChecksum;
    } else if (bOk) {
        bOk = false;
        if (entry.IsDeleted()) {
            for (int c = 0x20; c < 0x100 && !bOk; ++c) {
                if (c == CKivFatDirEntry::kDeletedMark) continue;
                if (entry.Checksum(static_cast<uint8_t>(c)) == m_nChecksum) {
                    *pFirstByte = static_cast<uint8_t>(c);
                    bOk = true;
                }
            }
        }
    }
    if (bOk) {
        std::u16string name;
        for (auto it = m_parts.rbegin(); it != m_parts.rend(); ++it) name += *it;
        size_t nEnd = name.find(u'\0');
        if (nEnd != std::u16string::npos) name.resize(nEnd);
        if (!name.empty()) out = KivUtf16ToUtf8(name);
    }
    Reset();
    return out;
}
