// The scan result model as seen across the library boundary: result partitions, the result tree
// (partition, folder and file nodes with their attributes) and data-run lists.
#pragma once

#include <cstddef>
#include <cstdint>

#include "KivCommon.h"

// File-system type codes.
enum : int32_t {
    KIV_FS_FAT12 = 0,
    KIV_FS_FAT16 = 1,
    KIV_FS_FAT32 = 2,
    KIV_FS_NTFS = 3,
    KIV_FS_RAW = 6,
    KIV_FS_NONE = 7,
    KIV_FS_EXFAT = 8,  // "exFAT"; also the device library's kind for it (its kinds 0-5 and 7 stay)
    // The ext family: the device library's kinds 4 and 5 for ext2 and ext3, and 9 for ext4.
    KIV_FS_EXT2 = 4,
    KIV_FS_EXT3 = 5,
    KIV_FS_EXT4 = 9,
};

// Scanner type codes.
enum : int32_t {
    KIV_SCANNER_NTFS = 0,
    KIV_SCANNER_FAT = 1,
    KIV_SCANNER_RAW = 2,
    KIV_SCANNER_EXT2 = 3,
    KIV_SCANNER_EXFAT = 4,
};

// Attribute kind codes.
enum : int32_t { KIV_ATTR_NTFS = 0, KIV_ATTR_FAT = 1, KIV_ATTR_RAW = 3, KIV_ATTR_ROOT = 4, KIV_ATTR_EXFAT = 5,
               KIV_ATTR_EXT = 6 };

// Record state bits, check states, attribute flags, valid-field bits.
// KIV_REC_DAMAGED: part of the entry's data lies beyond the end of the medium (a cut image, a
// volume larger than what holds it) or is no longer described (a lost extent): it cannot come back.
// KIV_REC_JOINED: a deleted file whose data was found in pieces by its content (its first piece,
// then the rest after clusters of other data); its runs give the pieces.
enum : uint8_t { KIV_REC_DELETED = 0x01, KIV_REC_DAMAGED = 0x02, KIV_REC_RECONSTRUCTED = 0x08, KIV_REC_JOINED = 0x20 };
enum : uint8_t { KIV_CHECK_NONE = 0, KIV_CHECK_PART = 1, KIV_CHECK_FULL = 2 };
enum : uint16_t {
    KIV_FA_READONLY = 0x01,
    KIV_FA_HIDDEN = 0x02,
    KIV_FA_SYSTEM = 0x04,
    KIV_FA_DIRECTORY = 0x10,
    KIV_FA_ARCHIVE = 0x20,
    KIV_FA_ENCRYPTED = 0x40,
    KIV_FA_SPARSE = 0x200,
    KIV_FA_COMPRESSED = 0x800,
};
enum : uint32_t { KIV_VALID_CTIME = 0x08, KIV_VALID_MTIME = 0x10, KIV_VALID_ATIME = 0x20 };

constexpr uint64_t KIV_SPARSE_RUN = ~0ull;  // start of a sparse data run

// Special names.
#define KIV_NAME_ROOT "Root"
#define KIV_NAME_LOST_DIR "{D5603231-3B6B-4f77-8898-CE407AA85F6B}"
#define KIV_NAME_RAW_ROOT "{BE0BB444-B3A5-4af1-9D7B-34AA93CC2310}"
// The top-level node of carved files lying outside every partition whose tree was built.
#define KIV_NAME_OUTSIDE_PARTS "Outside the selected partitions"

// Byte stream for Save/Load: fields are written in declaration order, little-endian, unpadded.
class IKivStream {
public:
    virtual ~IKivStream() = default;
    // Both answer nonzero when all nLen bytes were transferred.
    virtual int Read(void* pBuf, uint32_t nLen) = 0;
    virtual int Write(const void* pBuf, uint32_t nLen) = 0;
};

// One data run, in clusters of the owning partition (one sector for RAW results).
struct KivDataRun {
    uint64_t nStart;  // KIV_SPARSE_RUN for a sparse run
    uint64_t nLength;
};
static_assert(sizeof(KivDataRun) == 16);

// Ordered list of runs with a cursor. Not reference counted: whoever asked for it deletes it.
// Resident NTFS data (IsResident): the one run's start is the sector of the file record holding
// the data, counted in device sectors from the partition's base sector (GetPartInfo); its length
// is the data length in bytes; the resident value is the data's byte offset inside the record.
// The record is read whole (its size is the 32-bit "allocated" field at offset 28 of the record
// header, at most 4096) and its update-sequence fix-ups applied before the data is taken.
class IDataRunList {
public:
    virtual ~IDataRunList() = default;
    virtual int IsResident() = 0;
    virtual uint16_t GetResidentValue() = 0;
    virtual int Save(IKivStream* pStream) = 0;
    virtual int Load(IKivStream* pStream) = 0;
    virtual int GetKind() = 0;  // 0 FAT, 1 resident NTFS, 2 non-resident NTFS, 3 RAW
    virtual const KivDataRun* First() = 0;  // null when empty
    virtual const KivDataRun* Next() = 0;   // null at the end
    virtual void AddRun(uint64_t nStart, uint64_t nLength) = 0;
    virtual size_t GetRunCount() = 0;
};
enum : int32_t { KIV_RUNS_FAT = 0, KIV_RUNS_NTFS_RESIDENT = 1, KIV_RUNS_NTFS = 2, KIV_RUNS_RAW = 3 };

// Attributes of a node: owned by the node, not reference counted.
class IKivFileAttr {
public:
    virtual ~IKivFileAttr() = default;
    virtual uint32_t GetNameLength() = 0;
    virtual int SetName(const char* pszName) = 0;  // UTF-8
    virtual const char* GetName() = 0;             // UTF-8, never null
    virtual uint64_t GetSize() = 0;
    virtual uint16_t GetAttributes() = 0;
    virtual const char* GetTypeText() = 0;  // never null
    virtual uint64_t GetCreationTime() = 0;  // FILETIME, UTC
    virtual uint64_t GetModificationTime() = 0;
    virtual uint64_t GetAccessTime() = 0;
    virtual uint8_t GetRecordState() = 0;
    virtual uint8_t GetCheckState() = 0;
    virtual void SetCheckState(uint8_t nState) = 0;
    virtual IDataRunList* GetDataRunList() = 0;  // new list owned by the caller, or null
    virtual uint32_t GetValidFields() = 0;
    virtual uint32_t GetUserValue() = 0;
    virtual void SetUserValue(uint32_t nValue) = 0;
    virtual int Save(IKivStream* pStream) = 0;
    virtual int GetAttrKind() = 0;
    virtual int Load(IKivStream* pStream) = 0;
};

class IKivFsNode;

// A file or folder of the result tree. Children are kept in reverse order of insertion.
class IKivFileNode : public IKivCommon {
public:
    virtual IKivFileAttr* GetAttr() = 0;
    virtual void SetAttr(IKivFileAttr* pAttr) = 0;  // takes ownership
    virtual uint32_t GetUserData() = 0;
    virtual void SetUserData(uint32_t nValue) = 0;
    virtual void SetNextSibling(IKivFileNode* pNode) = 0;
    virtual void SetParent(IKivFileNode* pNode) = 0;
    virtual IKivFileNode* GetParent() = 0;
    virtual IKivFileNode* GetFirstChild() = 0;
    virtual IKivFileNode* GetNextSibling() = 0;
    virtual int AddChild(IKivFileNode* pChild) = 0;     // the node takes the caller's reference
    virtual int RemoveChild(IKivFileNode* pChild) = 0;  // hands the reference back to the caller
    virtual int IsFsNode() = 0;
    // Sector where run start 0 lies and sectors per cluster, from the nearest partition node above;
    // carved entries (attribute kind RAW) answer 0 and 1 wherever they hang, their runs counting
    // device sectors.
    virtual int GetPartInfo(uint64_t* pBaseSector, uint32_t* pSecPerClus) = 0;
    virtual int32_t GetFsType() = 0;
    virtual int Save(IKivStream* pStream) = 0;
    virtual int Load(IKivStream* pStream) = 0;
};

// Statistics of a partition node (files only; selected = check state 2).
struct KivFsStats {
    uint32_t nFiles;
    uint32_t nSelFiles;
    uint64_t nSize;
    uint64_t nSelSize;
    uint32_t nCompressed;
    uint32_t nSelCompressed;
    uint32_t nEncrypted;
    uint32_t nSelEncrypted;
};
static_assert(sizeof(KivFsStats) == 40);

constexpr size_t KIV_PARTDESC_SIZE = 264;
constexpr size_t KIV_LABEL_MAX = 40;

// The root of a result tree and each partition node.
class IKivFsNode : public IKivFileNode {
public:
    virtual void SetPartInfo(uint64_t nBaseSector, uint32_t nSecPerClus) = 0;
    virtual void SetFsType(int32_t nType) = 0;
    virtual void GetPartDesc(uint8_t* pOut264) = 0;
    virtual void SetPartDesc(const uint8_t* pIn264) = 0;
    virtual void ToggleCheck(int bOnlyThisNode) = 0;
    virtual void SetNodeUserValue(IKivFileNode* pNode, uint32_t nValue) = 0;
    virtual void GetStats(KivFsStats* pOut) = 0;
    virtual void RecountStats() = 0;
    virtual void RefreshChecks() = 0;
    virtual void PropagateChecks(IKivFileNode* pDir) = 0;
    virtual void SetLabel(const char* pszLabel) = 0;
    virtual const char* GetLabel() = 0;
};

// A file system (or its remains) found on the device. Created by the engine, deleted by the caller.
class CKivScanResPart {
public:
    CKivScanResPart(int32_t nType, uint32_t nSectorSize)
        : m_nType(nType), m_nSectorSize((nSectorSize == 0 || nSectorSize % 512) ? 512 : nSectorSize) {}
    virtual ~CKivScanResPart();
    virtual int GetScannerKind();  // 1 FAT, 0 NTFS, 3 base
    virtual int Save(IKivStream* pStream);
    virtual int Load(IKivStream* pStream);

    int32_t m_nType = KIV_FS_NONE;
    uint8_t m_nSecPerClus = 0;
    uint64_t m_nDataStart = 0;   // first sector of the data area (FAT: sector of cluster 2)
    uint64_t m_nFirstSector = 0;
    uint64_t m_nEvidenceA = 0;   // weight 1
    uint64_t m_nEvidenceB = 0;   // weight 50
    uint32_t m_nFlags = 0;
    uint64_t m_nSectorCount = 0;
    uint64_t m_nEvidenceC = 1;   // weight 1
    double m_dScore = 0;
    uint32_t m_nSelected = 0;
    uint32_t m_nSectorSize = 512;
    uint32_t m_nWholeDevice = 0;  // set by selection, not stored
};

class CKivScanResPartFAT : public CKivScanResPart {
public:
    using CKivScanResPart::CKivScanResPart;
    ~CKivScanResPartFAT() override;
    int GetScannerKind() override;
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;

    uint16_t m_nReservedSectors = 0;
    uint32_t m_nSectorsPerFat = 0;
    uint32_t m_nClusterCount = 0;
    uint32_t m_nRoot = 0;  // FAT32: root cluster; FAT12/16: root-directory sectors
    uint32_t m_nEvidenceFlags = 0;
};

class CKivScanNTFSPartInfo : public CKivScanResPart {
public:
    using CKivScanResPart::CKivScanResPart;
    ~CKivScanNTFSPartInfo() override;
    int GetScannerKind() override;
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;

    uint64_t m_nValue8 = 0;          // kept by the NTFS scanner
    uint32_t m_aValues32[4] = {2, 0, 0, 0};
    uint64_t m_aValues64[9] = {~0ull, ~0ull, ~0ull, ~0ull, ~0ull, ~0ull, ~0ull, ~0ull, ~0ull};
};

// An exFAT volume. All sector values count the device's sectors (a volume written with larger
// sectors than the device's has proportionally more of them); the base's 8-bit sectors per cluster
// holds the value when it fits and 0 when it does not (clusters of 128 KiB and more), the full
// value being m_nSecPerClus32. Data start is the sector of cluster 2 (the cluster heap).
class CKivScanResPartExFAT : public CKivScanResPart {
public:
    using CKivScanResPart::CKivScanResPart;
    ~CKivScanResPartExFAT() override;
    int GetScannerKind() override;  // 4
    // The base fields, then the fields below in their order.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;

    uint32_t m_nSecPerClus32 = 0;
    uint64_t m_nFatOffset = 0;   // from the first sector
    uint64_t m_nFatSectors = 0;  // one copy
    uint8_t m_nFatCount = 1;
    uint32_t m_nClusterCount = 0;
    uint32_t m_nRootCluster = 0;     // 0: unknown
    uint32_t m_nSerial = 0;
    uint16_t m_nVolumeFlags = 0;
    uint32_t m_nEvidenceFlags = 0;  // kept by the exFAT scanner
};
