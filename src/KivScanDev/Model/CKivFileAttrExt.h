// Attribute of an ext2/ext3/ext4 directory entry and the inode it names.
#pragma once

#include <vector>

#include "CKivFileAttrBase.h"
#include "IKivAttrDataInfo.h"

class CKivFileAttrExt : public CKivFileAttrBase, public IKivAttrDataInfo {
public:
    // What the scanner knows about the data of the entry.
    enum Damage : uint8_t {
        kIntact = 0,
        kBadMap = 1,     // its extent tree or block map is broken or points outside the volume
        kNoMap = 2,      // a deleted inode whose block pointers were cleared: where its data lay is lost
        kReused = 3,     // blocks it held were given to another file since
        kUnreadable = 4, // its inode could not be read
        kBadInodeSum = 5,  // its inode fails its checksum
        kBadDirSum = 6,    // the folder block naming it fails its checksum
    };

    CKivFileAttrExt() : CKivFileAttrBase(0xFFFF, 0) {}
    int GetAttrKind() override { return KIV_ATTR_EXT; }
    // Creation time only where the inode keeps one.
    uint32_t GetValidFields() override { return m_bCrTime ? 255u : 255u & ~uint32_t(KIV_VALID_CTIME); }
    // 16-bit name length, name, size, attributes, three times, record state, inode number, mode,
    // damage code, creation-time flag, 32-bit held-data length and bytes, has-runs flag and runs.
    int Save(IKivStream* pStream) override;
    int Load(IKivStream* pStream) override;  // resets check state and user value

    uint64_t GetValidLength() override { return ~0ull; }
    const char* GetDataDamage() override;
    const std::vector<uint8_t>* GetHeldData() override { return m_bHeld ? &m_held : nullptr; }

    void SetInode(uint32_t nInode, uint16_t nMode) {
        m_nInode = nInode;
        m_nMode = nMode;
    }
    uint32_t GetInode() const { return m_nInode; }
    uint16_t GetMode() const { return m_nMode; }
    void SetDamage(Damage d) { m_nDamage = d; }
    // Sets d unless a damage is known already.
    void AddDamage(Damage d) {
        if (m_nDamage == kIntact) m_nDamage = d;
    }
    Damage GetDamage() const { return static_cast<Damage>(m_nDamage); }
    void SetHasCreationTime(bool b) { m_bCrTime = b; }
    void SetHeldData(std::vector<uint8_t> bytes) {
        m_held = std::move(bytes);
        m_bHeld = true;
    }

private:
    uint32_t m_nInode = 0;
    uint16_t m_nMode = 0;
    uint8_t m_nDamage = kIntact;
    bool m_bCrTime = false;
    bool m_bHeld = false;
    std::vector<uint8_t> m_held;
};
