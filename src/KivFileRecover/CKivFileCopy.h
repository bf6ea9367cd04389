// Copies one result entry to one destination file: plain runs, sparse runs, data held in the file
// record, NTFS-compressed units and encrypted entries, then attributes and times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CKivDestFile.h"
#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

class CKivFileCopy {
public:
    enum Outcome { kOk = 0, kFailed = 1, kCancelled = 2 };

    // Both borrowed. pReader is the storage the node's runs are read from.
    CKivFileCopy(IKivFileRecoverCallback* pCallback, IKivDevStor* pReader)
        : m_pCallback(pCallback), m_pReader(pReader) {}

    Outcome Copy(IKivFileNode* pNode, const std::string& destPath);

    // After Copy: some data could not be read (written as zeros) or was missing.
    bool Damaged() const { return m_bDamaged; }
    uint64_t BytesWritten() const { return m_nWritten; }
    // The file the entry ended up in (an encrypted entry is written as "<dest>.EFS").
    const std::string& FinalPath() const { return m_finalPath; }
    // Why the entry failed, and the system error behind it (0 when there is none).
    const std::string& FailReason() const { return m_failReason; }
    int FailErrno() const { return m_nFailErrno; }
    // The first reason the file is damaged.
    const std::string& DamageReason() const { return m_damageReason; }
    // The byte ranges of the file written as zeros because their sectors could not be read (or lie
    // past the end of the device), in file order.
    const std::vector<KivByteRange>& DamagedRanges() const { return m_damage; }
    // The destination holds the whole entry, closed, with its attributes. A copy that ends
    // otherwise (failed or cancelled part-way) deletes what it had written.
    bool Complete() const { return m_bComplete; }

    // Gives a file or folder written for an entry the entry's access and modification times.
    static void RestoreTimes(const std::string& path, IKivFileAttr* pAttr);

private:
    Outcome CopyRuns(IDataRunList* pRuns, uint64_t nBytes);
    Outcome CopyResident(IDataRunList* pRuns);
    // Data the attribute holds itself (an inode's inline data), up to nBytes.
    Outcome CopyHeld(const std::vector<uint8_t>& held, uint64_t nBytes);
    Outcome Decompress(IDataRunList* pRuns, uint64_t nBytes);
    // Reads nCount sectors at nFirst into p, trying again what the scan left untried. Sectors that
    // cannot be read are zeros: the file is marked damaged and, unless nFileOffset is kNoOffset,
    // their place in the file (p's first byte lands at nFileOffset) is recorded. Answers false when
    // anything was unreadable.
    static constexpr uint64_t kNoOffset = ~0ull;
    bool ReadPiece(uint8_t* p, uint64_t nFirst, uint64_t nCount, uint64_t nFileOffset);
    // Clusters [nCluster, nCluster + nCount) of the partition into p, as ReadPiece.
    bool ReadClusters(uint8_t* p, uint64_t nCluster, uint64_t nCount, uint64_t nFileOffset);
    // Records [nFirst, nEnd) of the file as zeros in place of lost data (cut at the data's length).
    void AddDamage(uint64_t nFirst, uint64_t nEnd);
    Outcome Written(uint64_t n);  // counts and reports n bytes written
    Outcome RebuildEncrypted(uint64_t nSize);
    void SetAttrsAndTimes(IKivFileAttr* pAttr);
    void MarkDamaged(const std::string& why);
    Outcome Fail(const std::string& why, int nErrno = 0);
    Outcome WriteFailed();  // the destination's last error as the reason
    Outcome CopyData(IKivFileNode* pNode, IKivFileAttr* pAttr);

    IKivFileRecoverCallback* m_pCallback;
    IKivDevStor* m_pReader;
    uint64_t m_nBase = 0;
    uint32_t m_nSecPerClus = 0;
    uint32_t m_nSectorSize = 512;
    CKivDestFile m_out;
    std::string m_destPath;
    std::string m_finalPath;
    std::string m_name;
    bool m_bDamaged = false;
    bool m_bCreated = false;
    bool m_bComplete = false;
    std::string m_failReason;
    int m_nFailErrno = 0;
    std::string m_damageReason;
    uint64_t m_nWritten = 0;
    uint64_t m_nRead = 0;  // bytes read from the device without error
    uint64_t m_nValidLength = ~0ull;  // bytes of the file that hold written data
    uint64_t m_nDataBytes = 0;  // the length of the data written, for cutting damaged ranges
    std::vector<KivByteRange> m_damage;
    std::vector<uint8_t> m_buf;
};
