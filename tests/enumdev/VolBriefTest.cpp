// Volume briefs on boot sectors built field by field.
#include "CKivVolBriefFat.h"
#include "CKivVolBriefList.h"
#include "CKivVolBriefNtfs.h"
#include "Ntfs/CKivNtfsBootSector.h"
#include "EnumDevTestSupport.h"
#include "KivMemDevStor.h"

using namespace kivdev_test;

namespace {

void Put16(std::vector<uint8_t>& b, size_t off, uint16_t v) { std::memcpy(&b[off], &v, 2); }
void Put32(std::vector<uint8_t>& b, size_t off, uint32_t v) { std::memcpy(&b[off], &v, 4); }

// A FAT16 volume of 8192 sectors: 1 reserved sector, 2 FATs of 32 sectors, 512 root entries.
std::vector<uint8_t> Fat16Volume(uint16_t nRootEntries = 512) {
    std::vector<uint8_t> v(8192 * 512, 0);
    v[0] = 0xEB, v[1] = 0x3C, v[2] = 0x90;
    Put16(v, 11, 512);
    v[13] = 4;
    Put16(v, 14, 1);
    v[16] = 2;
    Put16(v, 17, nRootEntries);
    Put16(v, 19, 8192);
    v[21] = 0xF8;
    Put16(v, 22, 32);
    std::memcpy(&v[54], "FAT16   ", 8);
    v[510] = 0x55, v[511] = 0xAA;
    return v;
}
constexpr size_t kRoot16 = (1 + 2 * 32) * 512;

void PutEntry(std::vector<uint8_t>& v, size_t off, const char* name11, uint8_t attr) {
    std::memcpy(&v[off], name11, 11);
    v[off + 11] = attr;
}

std::string Label(IKivVolBrief& b) {
    char sz[100];
    b.GetLabel(sz, sizeof sz);
    return std::string(sz, strnlen(sz, sizeof sz));
}

}  // namespace

TEST(VolBriefs, FatBootSectorsAndLabels) {
    {
        // 512 root entries on 512-byte sectors: recognised; labels lose the blank between name
        // and extension, and skip deleted entries and those of other kinds.
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16, "A       TXT", 0x20);
        PutEntry(v, kRoot16 + 32, "\xE5LD     LBL", 0x08);
        PutEntry(v, kRoot16 + 64, "MY DISK 01 ", 0x08);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_FAT16);
        EXPECT_EQ(b.GetTotalSectors(), 8192u);
        EXPECT_EQ(Label(b), "MY DISK01");
    }
    {
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16, "DATA       ", 0x08);
        Put16(v, 19, 0);
        Put32(v, 32, 1000000);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetTotalSectors(), 1000000u);
        EXPECT_EQ(Label(b), "DATA");
    }
    {
        // The end of the folder before any label: none. An implausible entry ends the search too.
        std::vector<uint8_t> v = Fat16Volume();
        PutEntry(v, kRoot16 + 64, "LATE       ", 0x08);
        KivMemDevStor dev(v);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "");
        PutEntry(dev.m_data, kRoot16, "BAD*NAME   ", 0x20);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "");
    }
    {
        // 2 FATs but 100 root entries; a device whose sectors differ from the boot sector's.
        KivMemDevStor few(Fat16Volume(100));
        EXPECT_EQ(CKivVolBriefFat(&few, 0).GetFsKind(), KIV_FSK_UNKNOWN);
        std::vector<uint8_t> v = Fat16Volume();
        KivMemDevStor big(v, 4096);
        CKivVolBriefList list(&big, 0);
        EXPECT_EQ(list.Lookup()->GetFsKind(), KIV_FSK_UNKNOWN);
        EXPECT_EQ(list.Lookup()->GetTotalSectors(), 0u);
    }
    {
        // A FAT32 whose root chain loops back on itself without a label: the search ends.
        std::vector<uint8_t> v(140000 * 512, 0);
        v[0] = 0xEB;
        Put16(v, 11, 512);
        v[13] = 1;
        Put16(v, 14, 32);
        v[16] = 2;
        Put32(v, 32, 140000);
        Put32(v, 36, 1100);
        Put32(v, 44, 2);
        std::memcpy(&v[82], "FAT32   ", 8);
        v[510] = 0x55, v[511] = 0xAA;
        Put32(v, 32 * 512 + 2 * 4, 3);  // 2 -> 3 -> 2
        Put32(v, 32 * 512 + 3 * 4, 2);
        const size_t nData = (32 + 2 * 1100) * 512;
        // Both clusters full of file entries, so the search has to follow the chain.
        for (size_t off = 0; off < 1024; off += 32) PutEntry(v, nData + off, "FILE    BIN", 0x20);
        KivMemDevStor dev(v);
        CKivVolBriefFat b(&dev, 0);
        EXPECT_EQ(b.GetFsKind(), KIV_FSK_FAT32);
        EXPECT_EQ(Label(b), "");
        EXPECT_LE(dev.m_nReads, 2u * CKivVolBriefFat::kMaxRootClusters + 4);
        // The label in the chain's second cluster is found.
        PutEntry(dev.m_data, nData + 512 + 32, "SECOND     ", 0x08);
        EXPECT_EQ(Label(*std::make_unique<CKivVolBriefFat>(&dev, 0)), "SECOND");
    }
}
