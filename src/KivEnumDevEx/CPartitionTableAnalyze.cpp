#include "CPartitionTableAnalyze.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "CKivDevBasicPart.h"
#include "CKivDevDisk.h"
#include "CKivVolBriefList.h"
#include "KivByteReader.h"
#include "KivDiskText.h"
#include "KivGptTypes.h"
#include "platform/KivDiskSource.h"

namespace {

constexpr size_t kMbrTable = 446;
constexpr size_t kEntryBytes = 16;

bool IsExtendedType(uint8_t t) { return t == 0x05 || t == 0x0F || t == 0x85; }

// Signature present and every boot indicator 0x00 or 0x80: the sector holds a usable table.
bool IsUsableTable(const std::vector<uint8_t>& s) {
    if (s.size() < 512 || s[510] != 0x55 || s[511] != 0xAA) return false;
    for (int i = 0; i < 4; ++i) {
        uint8_t b = s[kMbrTable + kEntryBytes * i];
        if (b != 0x00 && b != 0x80) return false;
    }
    return true;
}

bool IsZeroEntry(const std::vector<uint8_t>& s, int i) {
    const uint8_t* p = s.data() + kMbrTable + kEntryBytes * i;
    return std::all_of(p, p + kEntryBytes, [](uint8_t b) { return b == 0; });
}

}  // namespace

CPartitionTableAnalyze::CPartitionTableAnalyze(const std::vector<KivMountEntry>* pMounts, std::string strDevRoot)
    : m_pMounts(pMounts), m_strDevRoot(std::move(strDevRoot)) {}

CPartitionTableAnalyze::~CPartitionTableAnalyze() { FreeWork(); }

void CPartitionTableAnalyze::AnalyzeDisks(const std::vector<DiskInfo>& disks, std::vector<PartInfo>* pOut) {
    for (const DiskInfo& d : disks) {
        IKivDevDisk* pDisk = d.pDisk;
        if (pDisk) AnalyzeDisk(pDisk, pOut);
    }
}

void CPartitionTableAnalyze::AnalyzeDisk(IKivDevDisk* pDisk, std::vector<PartInfo>* pOut) {
    FreeWork();
    m_pDisk = pDisk;
    m_nSectorSize = pDisk->GetSectorSize();
    if (m_nSectorSize < 512) m_nSectorSize = 512;
    m_nDiskSectors = pDisk->GetSectorCount();
    m_ebrSeen.clear();
    if (m_nDiskSectors == 0 || HasDynamicEntry()) return;
    if (IsProtectiveMbr()) {
        WalkGpt();
    } else {
        WholeDiskTest();
        WalkMbr();
    }
    if (!m_work.empty()) {
        AssignMountPoints();
        Emit(pOut);
    }
    FreeWork();
}

bool CPartitionTableAnalyze::ReadSector(uint64_t n, std::vector<uint8_t>* pBuf) {
    pBuf->assign(m_nSectorSize, 0);
    return n < m_nDiskSectors && m_pDisk->ReadSectors(pBuf->data(), n, 1) != 0;
}

bool CPartitionTableAnalyze::HasDynamicEntry() {
    std::vector<uint8_t> s;
    if (!ReadSector(0, &s)) return false;
    for (int i = 0; i < 4; ++i)
        if (s[450 + kEntryBytes * i] == 0x42) return true;
    return false;
}

bool CPartitionTableAnalyze::IsProtectiveMbr() {
    std::vector<uint8_t> s;
    return ReadSector(0, &s) && s[510] == 0x55 && s[511] == 0xAA && s[450] == 0xEE;
}

void CPartitionTableAnalyze::Clamp(Candidate* p) const {
    const int64_t nDisk = static_cast<int64_t>(m_nDiskSectors);
    const int64_t nFirst = p->nFirst > m_nDiskSectors ? nDisk + 1 : static_cast<int64_t>(p->nFirst);
    if (p->nCount == 0 || p->nCount > nDisk - nFirst) {
        if (p->nCount != 0) p->nFlags |= KIV_PARTF_CUT;
        p->nCount = nDisk - nFirst;
    }
}

uint64_t CPartitionTableAnalyze::Recognise(Candidate* p) {
    CKivVolBriefList briefs(m_pDisk, p->nFirst);
    IKivVolBrief* b = briefs.Lookup();
    if (b->GetFsKind() == KIV_FSK_UNKNOWN) return 0;
    p->nKind = b->GetFsKind();
    b->GetLabel(p->szLabel, sizeof p->szLabel);
    p->szLabel[sizeof p->szLabel - 1] = 0;
    return b->GetTotalSectors();
}

void CPartitionTableAnalyze::TakeFsSize(Candidate* p, uint64_t nFs) {
    p->nCount = static_cast<int64_t>(nFs);
    p->nFlags = (p->nFlags & ~KIV_PARTF_CUT) | KIV_PARTF_FS_SIZED;
}

void CPartitionTableAnalyze::Keep(Candidate c) {
    if (c.nCount <= 0) return;
    c.pDev = new CKivDevBasicPart(m_pDisk, c.nFirst, static_cast<uint64_t>(c.nCount));
    m_work.push_back(std::move(c));
}

void CPartitionTableAnalyze::WalkGpt() {
    // The header says where the entry array lies and how big it is; without a sound header the
    // array is taken from sector 2 with 128 entries of 128 bytes.
    uint64_t nArray = 2;
    uint64_t nEntries = 128;
    uint64_t nEntrySize = 128;
    std::vector<uint8_t> hdr;
    if (ReadSector(1, &hdr)) {
        KivByteReader r(hdr.data(), hdr.size());
        uint64_t lba = r.U64At(72);
        uint32_t n = r.U32At(80), sz = r.U32At(84);
        if (r.Equals(0, "EFI PART", 8) && lba >= 2 && lba < m_nDiskSectors && n >= 1 && n <= 4096 && sz >= 128 &&
            sz <= 4096 && sz % 8 == 0) {
            nArray = lba;
            nEntries = n;
            nEntrySize = sz;
        }
    }
    uint64_t nBytes = nEntries * nEntrySize;
    uint64_t nSectors = std::max<uint64_t>((nBytes + m_nSectorSize - 1) / m_nSectorSize, 1);
    if (nArray >= m_nDiskSectors) return;
    nSectors = std::min(nSectors, m_nDiskSectors - nArray);
    std::vector<uint8_t> buf(nSectors * m_nSectorSize);
    if (!m_pDisk->ReadSectors(buf.data(), nArray, nSectors)) return;
    nEntries = std::min<uint64_t>(nEntries, buf.size() / nEntrySize);
    for (uint64_t i = 0; i < nEntries; ++i) {
        KivByteReader r(buf.data() + i * nEntrySize, nEntrySize);
        if (KivGptTypeId(KivGptGuidText(buf.data() + i * nEntrySize)) <= 1) continue;
        uint64_t nFirst = r.U64At(32), nLast = r.U64At(40);
        Candidate c;
        c.nSource = KIV_PART_GPT;
        c.nFirst = nFirst;
        c.nCount = nLast >= nFirst && nLast - nFirst < uint64_t(INT64_MAX) ? static_cast<int64_t>(nLast - nFirst + 1) : -1;
        if (c.nCount < 0) continue;
        Clamp(&c);
        if (c.nCount <= 0) continue;
        uint64_t nFs = Recognise(&c);
        if (nFs != 0 && nFs < m_nDiskSectors - c.nFirst) TakeFsSize(&c, nFs);
        Keep(std::move(c));
    }
}

void CPartitionTableAnalyze::WholeDiskTest() {
    Candidate c;
    c.nSource = KIV_PART_WHOLE;
    uint64_t nFs = Recognise(&c);
    if (c.nKind == KIV_FSK_UNKNOWN) return;
    c.nCount = static_cast<int64_t>(m_nDiskSectors);
    if (nFs != 0 && nFs <= m_nDiskSectors) TakeFsSize(&c, nFs);
    Keep(std::move(c));
}

void CPartitionTableAnalyze::WalkMbr() {
    std::vector<uint8_t> s;
    if (!ReadSector(0, &s) || !IsUsableTable(s)) return;
    for (int i = 0; i < 4; ++i) {
        if (IsZeroEntry(s, i)) continue;
        KivByteReader r(s.data() + kMbrTable + kEntryBytes * i, kEntryBytes);
        uint8_t type = r.U8At(4);
        uint32_t first = r.U32At(8), count = r.U32At(12);
        if (IsExtendedType(type))
            WalkEbr(first, first);
        else if (type != 0x42)
            AddFromEntry(0, first, count, KIV_PART_MBR);
    }
}

void CPartitionTableAnalyze::WalkEbr(uint64_t nExtBase, uint64_t nEbr) {
    if (static_cast<int>(m_ebrSeen.size()) >= kMaxEbrTables || !m_ebrSeen.insert(nEbr).second) return;
    std::vector<uint8_t> s;
    if (!ReadSector(nEbr, &s) || !IsUsableTable(s)) return;
    for (int i = 0; i < 4; ++i) {
        if (IsZeroEntry(s, i)) continue;
        KivByteReader r(s.data() + kMbrTable + kEntryBytes * i, kEntryBytes);
        uint8_t type = r.U8At(4);
        uint32_t first = r.U32At(8), count = r.U32At(12);
        // A link back to a partition already listed ends the chain here.
        uint64_t nAt = nEbr + first;
        if (std::any_of(m_work.begin(), m_work.end(), [&](const Candidate& c) { return c.nFirst == nAt; })) return;
        if (IsExtendedType(type))
            WalkEbr(nExtBase, nExtBase + first);  // links count from the extended partition's start
        else if (type != 0x42)
            AddFromEntry(nEbr, first, count, KIV_PART_EBR);  // logicals count from their own record
    }
}

void CPartitionTableAnalyze::AddFromEntry(uint64_t nBase, uint64_t nEntryFirst, uint32_t nEntryCount, int32_t nSource) {
    Candidate c;
    c.nSource = nSource;
    c.nFirst = nBase + nEntryFirst;
    c.nCount = nEntryCount;
    Clamp(&c);
    if (c.nCount <= 0) return;
    uint64_t nFs = Recognise(&c);
    if (nFs != 0 && nFs < m_nDiskSectors - c.nFirst) {
        int32_t d = static_cast<int32_t>(static_cast<uint32_t>(nFs) - nEntryCount);
        if (d > kSizeSlack || d < -kSizeSlack) {
            // Too far apart to tell which is right: list the table's view as well.
            Candidate twin = c;
            Keep(std::move(twin));
        }
        TakeFsSize(&c, nFs);
    }
    Keep(std::move(c));
}

void CPartitionTableAnalyze::AssignMountPoints() {
    if (!m_pDisk->IsOpen() || !m_pMounts) return;
    void* pRaw = nullptr;
    if (m_pDisk->QueryLayout(&pRaw, KIV_LAYOUT_KERNEL) && pRaw) {
        auto* pLayout = static_cast<KivKernelLayout*>(pRaw);
        const KivKernelLayoutEntry* e = KivLayoutEntries(pLayout);
        for (Candidate& c : m_work) {
            for (uint32_t i = 0; i < pLayout->nCount; ++i) {
                if (e[i].nStartByte / m_nSectorSize != c.nFirst || e[i].nStartByte % m_nSectorSize) continue;
                c.nPartNumber = static_cast<int32_t>(e[i].nPartNumber);
                c.strDevPath = KivPartitionDevPath(m_strDevRoot, e[i].szName);
                bool bRw = false;
                if (const KivMountEntry* m = KivFindMount(*m_pMounts, e[i].nDevMajor, e[i].nDevMinor, &bRw)) {
                    c.strMountPoint = m->strMountPoint;
                    c.nMountFlags = KIV_MOUNTED | (bRw ? KIV_MOUNTED_RW : 0);
                }
                break;
            }
        }
        std::free(pRaw);
    }
    // A file system on the whole disk is mounted through the disk's own device.
    auto* pOwn = dynamic_cast<CKivDevDisk*>(m_pDisk);
    if (!pOwn || pOwn->IsImage() || pOwn->SysFacts().nMajor == 0) return;
    for (Candidate& c : m_work) {
        if (c.nSource != KIV_PART_WHOLE || c.nMountFlags) continue;
        c.strDevPath = pOwn->GetPath();
        bool bRw = false;
        if (const KivMountEntry* m = KivFindMount(*m_pMounts, pOwn->SysFacts().nMajor, pOwn->SysFacts().nMinor, &bRw)) {
            c.strMountPoint = m->strMountPoint;
            c.nMountFlags = KIV_MOUNTED | (bRw ? KIV_MOUNTED_RW : 0);
        }
    }
}

void CPartitionTableAnalyze::Emit(std::vector<PartInfo>* pOut) {
    KivDiskDescriptor desc;
    if (!m_pDisk->GetDescriptor(&desc)) std::memset(&desc, 0, sizeof desc);
    const std::string strDesc = KivDiskDescription(desc);
    for (Candidate& c : m_work) {
        if (!c.pDev) continue;
        PartInfo r;
        std::memset(&r, 0, sizeof r);
        r.pDevice = c.pDev;
        r.nFsKind = c.nKind;
        std::memcpy(r.szLabel, c.szLabel, sizeof r.szLabel);
        r.szLabel[sizeof r.szLabel - 1] = 0;
        r.nUsb = desc.nBusType == KIV_BUS_USB;
        KivPartExtent ext{c.pDev->GetStartSector(), c.pDev->GetSectorCount(), m_pDisk};
        std::memcpy(&r.extents[0], &ext, sizeof ext);
        KivCopyText(r.szDesc, 50, strDesc);
        r.nMountFlags = c.nMountFlags;
        r.nSource = c.nSource;
        r.nPartNumber = c.nPartNumber;
        r.nPartFlags = c.nFlags;
        KivCopyText(r.szDevPath, sizeof r.szDevPath, c.strDevPath);
        KivCopyText(r.szMountPoint, sizeof r.szMountPoint, c.strMountPoint);
        // Windows mounts a volume at its drive letter ("E:\").
        const std::string& m = c.strMountPoint;
        if (m.size() == 3 && m[1] == ':' && m[2] == '\\' && std::isalpha(static_cast<unsigned char>(m[0])))
            r.cDriveLetter = static_cast<char>(std::toupper(static_cast<unsigned char>(m[0])));
        pOut->push_back(r);
        c.pDev = nullptr;  // the record owns it now
    }
}

void CPartitionTableAnalyze::FreeWork() {
    for (Candidate& c : m_work)
        if (c.pDev) c.pDev->Release();
    m_work.clear();
}
