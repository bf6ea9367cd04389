#include "CKivDevVol.h"

#include <cctype>
#include <cstring>

#include "IKivEnumDevEx.h"
#include "platform/KivBlockDev.h"

CKivDevVol::CKivDevVol(char cLetter, std::string strDevPath)
    : m_cLetter(static_cast<char>(std::toupper(static_cast<unsigned char>(cLetter)))), m_strPath(std::move(strDevPath)) {}

CKivDevVol::~CKivDevVol() { Close(); }

uint32_t CKivDevVol::MediaTypeOfSectors(uint64_t nSectors) {
    switch (nSectors) {
        case 720: return KIV_MEDIA_F5_360;
        case 1440: return KIV_MEDIA_F3_720;
        case 2400: return KIV_MEDIA_F5_1PT2;
        case 2880: return KIV_MEDIA_F3_1PT44;
        case 5760: return KIV_MEDIA_F3_2PT88;
        default: return KIV_MEDIA_UNKNOWN;
    }
}

int CKivDevVol::Open() {
    if (m_fd >= 0) return 1;
    if (m_cLetter < 'A' || m_cLetter > 'Z') return 0;
    int err = 0;
    int fd = KivOpenReadOnly(m_strPath, 1, &err);
    if (fd < 0) return 0;
    KivBlockInfo info;
    if (!KivQueryBlockInfo(fd, &info) || (!info.bBlockDevice && !info.bRegularFile)) {
        KivCloseDev(fd);
        return 0;
    }
    m_nSectorSize = info.nLogicalSector && info.nLogicalSector % 512 == 0 ? info.nLogicalSector : 512;
    uint64_t nSectors = 0;
    if (KivFloppySectors(fd, &nSectors))
        m_nSectors = nSectors;
    else
        m_nSectors = info.nBytes / m_nSectorSize;
    m_fd = fd;
    m_reader.SetSectorSize(m_nSectorSize);
    m_reader.Attach(m_fd, m_nSectors * m_nSectorSize);
    return 1;
}

int CKivDevVol::Close() {
    m_reader.Attach(-1, 0);
    KivCloseDev(m_fd);
    m_fd = -1;
    return 1;
}

uint32_t CKivDevVol::GetMediaType() {
    if (!Open()) return KIV_MEDIA_NONE;
    return m_nSectorSize == 512 ? MediaTypeOfSectors(m_nSectors) : KIV_MEDIA_UNKNOWN;
}

int CKivDevVol::ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) {
    return ReadSectorsEx(pBuf, nFirst, nCount, 0, nullptr);
}

int CKivDevVol::GetBadAreas(KivBadRanges* pOut) {
    if (!pOut) return 0;
    *pOut = m_reader.GetBadAreas();
    return 1;
}

int CKivDevVol::AddBadAreas(const KivBadRanges& areas) {
    m_reader.AddBadAreas(areas);
    return 1;
}

int CKivDevVol::ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) {
    if (pBad) pBad->clear();
    if (!pBuf) return 0;
    if (nFirst > m_nSectors || nCount > m_nSectors - nFirst) {
        uint64_t nBytes = 0;
        if (!__builtin_mul_overflow(nCount, uint64_t(GetSectorSize()), &nBytes) && nBytes < (1ull << 32))
            std::memset(pBuf, 0, nBytes);
        return 0;
    }
    return m_reader.Read(pBuf, nFirst, nCount, nFlags, pBad);
}
