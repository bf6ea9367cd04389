// Dynamic disks: LDM databases built here following the on-disk layout (no Linux tool writes
// them) — PRIVHEAD, TOCBLOCK, VMDB and VBLK records, one split over fragments — with simple,
// spanned, striped, mirrored and RAID-5 volumes over three disks. Each volume must read back the
// data written for it, also with a member disk missing or a sector that cannot be read.
#include <random>

#include "CKivEnumDevEx.h"
#include "EnumDevTestSupport.h"
#include "Ldm/CKivLdmDatabase.h"
#include "Ldm/CKivVolDynRaid5.h"
#include "Ldm/CKivVolDynStripy.h"
#include "Ldm/KivDynamicVolumes.h"

using namespace kivdev_test;

namespace {

using Bytes = std::vector<uint8_t>;

void Be(Bytes& b, uint64_t v, int n) {
    for (int i = n - 1; i >= 0; --i) b.push_back(uint8_t(v >> (8 * i)));
}
void Var(Bytes& b, uint64_t v) {
    int n = 1;
    while (n < 8 && (v >> (8 * n))) ++n;
    b.push_back(uint8_t(n));
    Be(b, v, n);
}
void Text(Bytes& b, const std::string& s) {
    b.push_back(uint8_t(s.size()));
    b.insert(b.end(), s.begin(), s.end());
}
void Zeros(Bytes& b, size_t n) { b.insert(b.end(), n, 0); }

constexpr uint64_t kDiskSectors = 8192;
constexpr uint64_t kDataStart = 63;
constexpr uint64_t kConfigStart = kDiskSectors - 2048;

const char* const kGuids[] = {"1b77da20-c717-11d0-a5be-00a0c91db73c", "2c88eb31-d828-22e1-b6cf-11b1da2ec84d",
                              "3d99fc42-e939-33f2-c7d0-22c2eb3fd95e"};

struct Part {
    uint64_t id, disk, start, offset, size, comp, column;
};

// The database of one disk group, written onto each member disk.
class LdmGroup {
public:
    void Record(uint8_t type, uint8_t flags, const Bytes& payload) {
        Bytes stream{0, 0, flags, type};
        Be(stream, payload.size(), 4);
        stream.insert(stream.end(), payload.begin(), payload.end());
        m_records.push_back(stream);
    }
    void Disk(uint64_t id, int nGuid, bool bBinary) {
        Bytes p;
        Var(p, id);
        Text(p, "Disk" + std::to_string(id));
        if (bBinary) {
            std::string g = kGuids[nGuid];
            g.erase(std::remove(g.begin(), g.end(), '-'), g.end());
            for (size_t i = 0; i < 32; i += 2) p.push_back(uint8_t(std::stoi(g.substr(i, 2), nullptr, 16)));
        } else {
            Text(p, kGuids[nGuid]);
            Text(p, "");
        }
        Record(bBinary ? 0x44 : 0x34, 0, p);
    }
    void Volume(uint64_t id, const std::string& name, bool bRaid, uint64_t nComps, uint64_t nSize, uint8_t nPartType) {
        Bytes p;
        Var(p, id);
        Text(p, name);
        Text(p, bRaid ? "raid5" : "gen");
        Text(p, "");
        Zeros(p, 14);
        p.push_back(bRaid ? 4 : 3);
        Zeros(p, 6);
        Var(p, nComps);
        Zeros(p, 16);
        Var(p, nSize);
        Zeros(p, 4);
        p.push_back(nPartType);
        for (int i = 0; i < 16; ++i) p.push_back(uint8_t(id * 16 + i));
        Record(0x51, 0, p);
    }
    void Component(uint64_t id, uint8_t type, uint64_t nParts, uint64_t parent, uint64_t stripe = 0, uint64_t cols = 0) {
        Bytes p;
        Var(p, id);
        Text(p, "Comp" + std::to_string(id));
        Text(p, "ACTIVE");
        p.push_back(type);
        Zeros(p, 4);
        Var(p, nParts);
        Zeros(p, 16);
        Var(p, parent);
        if (stripe) {
            Zeros(p, 1);
            Var(p, stripe);
            Var(p, cols);
        }
        Record(0x32, stripe ? 0x10 : 0, p);
    }
    void Partition(const Part& x, bool bColumn) {
        Bytes p;
        Var(p, x.id);
        Text(p, "Part" + std::to_string(x.id));
        Zeros(p, 12);
        Be(p, x.start, 8);
        Be(p, x.offset, 8);
        Var(p, x.size);
        Var(p, x.comp);
        Var(p, x.disk);
        if (bColumn) Var(p, x.column);
        Record(0x33, bColumn ? 0x08 : 0, p);
        m_parts.push_back(x);
    }

    // Writes the MBR, PRIVHEAD and configuration area of disk nGuid.
    void WriteDisk(MemDisk& d, int nGuid, bool bHeadAtEnd) const {
        d.Put(0, TableSector().Entry(0, 0x42, 63, kDiskSectors - 63).b);
        Bytes ph(512, 0);
        std::memcpy(ph.data(), "PRIVHEAD", 8);
        std::memcpy(ph.data() + 48, kGuids[nGuid], 36);
        auto be64 = [&](size_t off, uint64_t v) {
            for (int i = 0; i < 8; ++i) ph[off + i] = uint8_t(v >> (56 - 8 * i));
        };
        be64(283, kDataStart);
        be64(291, kConfigStart - kDataStart);
        be64(299, kConfigStart);
        be64(307, 2048);
        d.Put(bHeadAtEnd ? kDiskSectors - 1 : 6, ph);
        Bytes area(2046 * 512, 0);
        for (size_t toc : {512u, 1024u}) {
            std::memcpy(&area[toc], "TOCBLOCK", 8);
            std::memcpy(&area[toc + 36], "config", 6);
            area[toc + 36 + 10 + 7] = 17;  // the VMDB's sector, big-endian 64-bit
            std::memcpy(&area[toc + 70], "log", 3);
        }
        const size_t vmdb = 17 * 512;
        std::memcpy(&area[vmdb], "VMDB", 4);
        area[vmdb + 11] = 128;             // record size
        area[vmdb + 14] = 2;               // first record 512 bytes after the VMDB
        size_t slot = vmdb + 512;
        uint32_t nRec = 1;
        for (const Bytes& s : m_records) {
            const size_t nFrags = std::max<size_t>(1, (s.size() + 111) / 112);
            for (size_t f = 0; f < nFrags; ++f, slot += 128) {
                uint8_t* p = &area[slot];
                std::memcpy(p, "VBLK", 4);
                p[7] = 1;
                p[8] = uint8_t(nRec >> 24), p[9] = uint8_t(nRec >> 16), p[10] = uint8_t(nRec >> 8), p[11] = uint8_t(nRec);
                p[13] = uint8_t(f);
                p[15] = uint8_t(nFrags);
                std::memcpy(p + 16, s.data() + f * 112, std::min<size_t>(112, s.size() - f * 112));
            }
            ++nRec;
        }
        d.Put(kConfigStart, area);
    }

    const std::vector<Part>& Parts() const { return m_parts; }

private:
    std::vector<Bytes> m_records;
    std::vector<Part> m_parts;
};

// The test's group: five volumes over three disks.
LdmGroup MakeGroup() {
    LdmGroup g;
    g.Disk(1, 0, false);
    g.Disk(2, 1, true);
    g.Disk(3, 2, false);
    // A volume name long enough to spread its record over two slots.
    g.Volume(10, "Simple " + std::string(120, 'x'), false, 1, 1024, 0x01);
    g.Component(11, 2, 1, 10);
    g.Partition({12, 1, 0, 0, 1024, 11, 0}, false);
    g.Volume(20, "Spanned", false, 1, 1200, 0x07);
    g.Component(21, 2, 2, 20);
    g.Partition({22, 1, 1100, 0, 500, 21, 0}, false);
    g.Partition({23, 2, 0, 500, 700, 21, 0}, false);
    g.Volume(30, "Striped", false, 1, 3072, 0x07);
    g.Component(31, 1, 3, 30, 128, 3);
    g.Partition({32, 1, 1700, 0, 1024, 31, 0}, true);
    g.Partition({33, 2, 800, 0, 1024, 31, 1}, true);
    g.Partition({34, 3, 0, 0, 1024, 31, 2}, true);
    g.Volume(40, "Mirror", false, 2, 600, 0x07);
    g.Component(41, 2, 1, 40);
    g.Partition({42, 2, 1900, 0, 600, 41, 0}, false);
    g.Component(43, 2, 1, 40);
    g.Partition({44, 3, 1100, 0, 600, 43, 0}, false);
    g.Volume(50, "Raid", true, 1, 1024, 0x07);
    g.Component(51, 3, 3, 50, 64, 3);
    g.Partition({52, 1, 2800, 0, 512, 51, 0}, true);
    g.Partition({53, 2, 2600, 0, 512, 51, 1}, true);
    g.Partition({54, 3, 1800, 0, 512, 51, 2}, true);
    return g;
}

// A FAT12 boot sector and root folder with a label, for the simple volume.
Bytes Fat12Start(const char* label11) {
    Bytes v(21 * 512, 0);
    v[0] = 0xEB;
    v[11 + 1] = 2;  // 512 bytes per sector
    v[13] = 1;
    v[14] = 1;
    v[16] = 2;
    v[17] = 224;
    v[19] = 0x00, v[20] = 0x04;  // 1024 sectors
    v[21] = 0xF0;
    v[22] = 3;
    std::memcpy(&v[54], "FAT12   ", 8);
    v[510] = 0x55, v[511] = 0xAA;
    std::memcpy(&v[7 * 512], label11, 11);
    v[7 * 512 + 11] = 0x08;
    return v;
}

struct Machine {
    MemDisk disks[3] = {MemDisk(kDiskSectors), MemDisk(kDiskSectors), MemDisk(kDiskSectors)};
    std::vector<Bytes> contents;  // per volume (10, 20, 30, 40, 50), as written
    LdmGroup group = MakeGroup();

    Machine() {
        for (int i = 0; i < 3; ++i) group.WriteDisk(disks[i], i, i == 1);
        std::mt19937 rng(7);
        auto random = [&](uint64_t n) {
            Bytes b(n * 512);
            for (auto& x : b) x = uint8_t(rng());
            return b;
        };
        auto put = [&](uint64_t disk, uint64_t sector, const uint8_t* p) {
            disks[disk - 1].Put(kDataStart + sector, Bytes(p, p + 512));
        };
        const auto& parts = group.Parts();
        auto part = [&](uint64_t id) { return *std::find_if(parts.begin(), parts.end(), [&](const Part& x) { return x.id == id; }); };
        // Simple: a FAT12 start, then random data.
        Bytes simple = random(1024);
        Bytes fat = Fat12Start("DYNSIMPLE  ");
        std::copy(fat.begin(), fat.end(), simple.begin());
        for (uint64_t s = 0; s < 1024; ++s) put(1, part(12).start + s, &simple[s * 512]);
        contents.push_back(simple);
        Bytes span = random(1200);
        for (uint64_t s = 0; s < 1200; ++s) {
            const Part& x = s < 500 ? part(22) : part(23);
            put(x.disk, x.start + s - x.offset, &span[s * 512]);
        }
        contents.push_back(span);
        Bytes stripe = random(3072);
        for (uint64_t s = 0; s < 3072; ++s) {
            uint64_t col = (s / 128) % 3, off = (s / 384) * 128 + s % 128;
            const Part& x = part(32 + col);
            put(x.disk, x.start + off, &stripe[s * 512]);
        }
        contents.push_back(stripe);
        Bytes mirror = random(600);
        for (uint64_t s = 0; s < 600; ++s) {
            put(2, part(42).start + s, &mirror[s * 512]);
            put(3, part(44).start + s, &mirror[s * 512]);
        }
        contents.push_back(mirror);
        // RAID-5, left-symmetric: row r has its parity on column (2 - r) mod 3, data after it.
        Bytes raid = random(1024);
        for (uint64_t row = 0; row < 8; ++row) {
            uint64_t pc = (2 + 3 - row % 3) % 3;
            Bytes parity(64 * 512, 0);
            for (uint64_t d = 0; d < 2; ++d) {
                uint64_t col = (pc + 1 + d) % 3;
                const uint8_t* src = &raid[(row * 128 + d * 64) * 512];
                for (uint64_t s = 0; s < 64; ++s) put(col + 1, part(52 + col).start + row * 64 + s, src + s * 512);
                for (size_t i = 0; i < parity.size(); ++i) parity[i] ^= src[i];
            }
            for (uint64_t s = 0; s < 64; ++s) put(pc + 1, part(52 + pc).start + row * 64 + s, &parity[s * 512]);
        }
        contents.push_back(raid);
    }

    // Disk records for the disks present (1-based numbers).
    std::vector<DiskInfo> Records(std::initializer_list<int> present) {
        std::vector<DiskInfo> out;
        for (int n : present) {
            DiskInfo r{};
            r.pDisk = &disks[n - 1];
            r.pStor = &disks[n - 1];
            out.push_back(r);
        }
        return out;
    }
};

Bytes ReadAll(IKivDevStor* p, int* pResult = nullptr) {
    Bytes b(p->GetSectorCount() * 512);
    int r = p->ReadSectors(b.data(), 0, p->GetSectorCount());
    if (pResult) *pResult = r;
    return b;
}

const PartInfo* ByLayout(const PartList& parts, int32_t nLayout) {
    for (const PartInfo& r : parts.v)
        if (r.nLayout == nLayout) return &r;
    return nullptr;
}

}  // namespace

TEST(Ldm, DatabaseRecords) {
    Machine m;
    CKivLdmDatabase db;
    ASSERT_TRUE(db.ReadFrom(&m.disks[1]));  // its header is in the last sector
    EXPECT_EQ(db.Head().strDiskGuid, kGuids[1]);
    EXPECT_EQ(db.Head().nDataStart, kDataStart);
    EXPECT_EQ(db.Head().nConfigStart, kConfigStart);
    const KivLdmRecords& r = db.Records();
    ASSERT_EQ(r.disks.size(), 3u);
    EXPECT_EQ(r.disks[1].strGuid, kGuids[1]);  // the binary form, as text
    ASSERT_EQ(r.vols.size(), 5u);
    ASSERT_EQ(r.comps.size(), 6u);
    ASSERT_EQ(r.parts.size(), 11u);
    auto vol = [&](uint64_t id) { return *std::find_if(r.vols.begin(), r.vols.end(), [&](auto& v) { return v.nId == id; }); };
    EXPECT_EQ(vol(10).strName, "Simple " + std::string(120, 'x'));  // joined from two fragments
    EXPECT_EQ(vol(10).nSize, 1024u);
    EXPECT_EQ(vol(10).nPartType, 0x01);
    EXPECT_EQ(vol(50).nVolType, 4);
    EXPECT_EQ(vol(20).nComps, 1u);
    EXPECT_EQ(r.comps[2].nStripe, 128u);
    EXPECT_EQ(r.comps[2].nColumns, 3u);
    EXPECT_EQ(r.parts[4].nStart, 800u);
    EXPECT_TRUE(r.parts[4].bHasColumn);
    EXPECT_EQ(r.parts[4].nColumn, 1u);

    // Without its TOCBLOCKs the area is walked slot by slot: the same records.
    Bytes area(2046 * 512);
    m.disks[0].ReadSectors(area.data(), kConfigStart, 2046);
    std::fill(area.begin() + 512, area.begin() + 1536, 0);
    CKivLdmDatabase walked;
    walked.ParseConfig(area);
    EXPECT_EQ(walked.Records().vols.size(), 5u);
    EXPECT_EQ(walked.Records().parts.size(), 11u);

    // A missing fragment drops that record only.
    for (size_t off = 18 * 512; off < area.size(); off += 128)
        if (area[off] == 'V' && area[off + 13] == 1) area[off] = 0;
    CKivLdmDatabase cut;
    cut.ParseConfig(area);
    EXPECT_EQ(cut.Records().vols.size(), 4u);
    MemDisk plain(kDiskSectors);
    EXPECT_FALSE(CKivLdmDatabase().ReadFrom(&plain));
}

TEST(Ldm, AddressesOfTheLayouts) {
    // 3 columns, stripes of 128: volume sector 300 is in row 0, column 2, at column offset 44.
    std::vector<KivDynExtent> ext(3);
    MemDisk d(4096);
    for (uint64_t c = 0; c < 3; ++c) ext[c] = KivDynExtent{c * 1000, 0, 1000, &d, c};
    for (uint64_t c = 0; c < 3; ++c)
        for (uint64_t s = 0; s < 1000; ++s) {
            Bytes b(512, 0);
            b[0] = uint8_t(c), b[1] = uint8_t(s), b[2] = uint8_t(s >> 8);
            d.Put(c * 1000 + s, b);
        }
    auto* pStripe = new CKivVolDynStripy(ext, 3000, 7, 128, 3);
    Bytes b(512);
    ASSERT_EQ(pStripe->ReadSectors(b.data(), 300, 1), 1);
    EXPECT_EQ(b[0], 2);
    EXPECT_EQ(b[1] | b[2] << 8, 44);
    EXPECT_EQ(pStripe->ReadSectors(b.data(), 3000, 1), 0);
    pStripe->Release();
    // RAID-5 of 3 columns, stripes of 128: sector 300 is in row 1, data index 0, column 2 (the
    // parity of row 1 is on column 1).
    auto* pRaid = new CKivVolDynRaid5(ext, 2000, 7, 128, 3);
    uint64_t col = 0, off = 0;
    pRaid->Locate(300, &col, &off);
    EXPECT_EQ(col, 2u);
    EXPECT_EQ(off, 128u + 44);
    pRaid->Locate(0, &col, &off);
    EXPECT_EQ(col, 0u);
    pRaid->Locate(128, &col, &off);
    EXPECT_EQ(col, 1u);
    pRaid->Release();
}

TEST(Ldm, VolumesReadBackWhatWasWritten) {
    Machine m;
    std::vector<DiskInfo> disks = m.Records({1, 2, 3});
    PartList parts;
    KivEnumDynamicVolumes(disks, &parts.v);
    ASSERT_EQ(parts.size(), 5u);  // every disk carries the database: each volume once
    const int32_t layouts[] = {KIV_DYN_SIMPLE, KIV_DYN_SPANNED, KIV_DYN_STRIPED, KIV_DYN_MIRROR, KIV_DYN_RAID5};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(layouts[i]);
        const PartInfo* r = ByLayout(parts, layouts[i]);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->nDynamic, 1);
        EXPECT_EQ(r->nSource, KIV_PART_DYNAMIC);
        int rc = 0;
        Bytes got = ReadAll(r->pDevice, &rc);
        EXPECT_EQ(rc, 1);
        EXPECT_TRUE(got == m.contents[i]);
    }
    const PartInfo* pSimple = ByLayout(parts, KIV_DYN_SIMPLE);
    EXPECT_EQ(pSimple->nFsKind, KIV_FSK_FAT12);
    EXPECT_STREQ(pSimple->szLabel, "DYNSIMPLE");
    EXPECT_EQ(Extent0(*pSimple).nFirstSector, kDataStart);
    const PartInfo* pSpan = ByLayout(parts, KIV_DYN_SPANNED);
    EXPECT_EQ(pSpan->nFsKind, KIV_FSK_UNKNOWN);
    EXPECT_STREQ(pSpan->szDesc, "Vend  Memory disk  Test Bus\nVend  Memory disk  Test Bus");
    KivPartExtent second;
    std::memcpy(&second, &pSpan->extents[1], sizeof second);
    EXPECT_EQ(second.pDisk, &m.disks[1]);
    EXPECT_EQ(second.nFirstSector, kDataStart);
    EXPECT_EQ(second.nSectorCount, 700u);
    KivPartExtent third;
    std::memcpy(&third, &pSpan->extents[2], sizeof third);
    EXPECT_EQ(third.pDisk, nullptr);
    auto* pVol = static_cast<IKivVolDyn*>(ByLayout(parts, KIV_DYN_STRIPED)->pDevice);
    EXPECT_EQ(pVol->GetFsKindHint(), KIV_FSK_NTFS);
    EXPECT_EQ(pVol->GetDriveLetter(), 0);

    // Through the enumerator, dynamic disks give no basic partitions, only their volumes.
    auto* pEnum = new CKivEnumDevEx();
    TempDir empty;
    pEnum->SetSystemRoots(empty.Path().c_str(), empty.Path().c_str(), (empty / "none").c_str());
    PartList all;
    ASSERT_EQ(pEnum->EnumPart(&disks, &all.v), KIV_OK);
    EXPECT_EQ(all.size(), 5u);
    pEnum->Release();
}

TEST(Ldm, MissingMembersAndUnreadableSectors) {
    Machine m;
    {
        // Disk 3 missing: RAID-5 rebuilds its column; the mirror reads the other copy; the
        // striped volume reads zeros in that column and says so; the spanned part is whole.
        std::vector<DiskInfo> disks = m.Records({1, 2});
        PartList parts;
        KivEnumDynamicVolumes(disks, &parts.v);
        ASSERT_EQ(parts.size(), 5u);
        int rc = 0;
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_RAID5)->pDevice, &rc) == m.contents[4]);
        EXPECT_EQ(rc, 1);
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_MIRROR)->pDevice, &rc) == m.contents[3]);
        EXPECT_EQ(rc, 1);
        Bytes stripe = ReadAll(ByLayout(parts, KIV_DYN_STRIPED)->pDevice, &rc);
        EXPECT_EQ(std::memcmp(stripe.data(), m.contents[2].data(), 256 * 512), 0);
        EXPECT_TRUE(std::all_of(stripe.begin() + 256 * 512, stripe.begin() + 384 * 512, [](uint8_t b) { return b == 0; }));
        // The zeros are listed, and only they; what the layouts make up for is not.
        auto listed = [](IKivDevStor* pDev) {
            Bytes b(pDev->GetSectorCount() * 512);
            KivBadRanges bad;
            EXPECT_EQ(pDev->ReadSectorsEx(b.data(), 0, pDev->GetSectorCount(), 0, &bad), 1);
            return bad;
        };
        KivBadRanges bad = listed(ByLayout(parts, KIV_DYN_STRIPED)->pDevice);
        std::set<uint64_t> zeros;
        for (const KivBadRange& r : bad)
            for (uint64_t s = r.nFirst; s < r.nEnd; ++s) {
                zeros.insert(s);
                EXPECT_TRUE(std::all_of(stripe.begin() + s * 512, stripe.begin() + (s + 1) * 512, [](uint8_t x) { return x == 0; }));
            }
        for (uint64_t s = 256; s < 384; ++s) EXPECT_TRUE(zeros.count(s)) << s;
        EXPECT_TRUE(listed(ByLayout(parts, KIV_DYN_RAID5)->pDevice).empty());
        EXPECT_TRUE(listed(ByLayout(parts, KIV_DYN_MIRROR)->pDevice).empty());
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_SPANNED)->pDevice) == m.contents[1]);
    }
    {
        // Disk 2 missing: the spanned volume's second part reads as zeros; requests inside the
        // first part succeed in full.
        std::vector<DiskInfo> disks = m.Records({1, 3});
        PartList parts;
        KivEnumDynamicVolumes(disks, &parts.v);
        IKivDevStor* pSpan = ByLayout(parts, KIV_DYN_SPANNED)->pDevice;
        Bytes b(100 * 512);
        EXPECT_EQ(pSpan->ReadSectors(b.data(), 10, 100), 1);
        EXPECT_EQ(std::memcmp(b.data(), m.contents[1].data() + 10 * 512, b.size()), 0);
        EXPECT_EQ(pSpan->ReadSectors(b.data(), 600, 100), 1);
        EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](uint8_t x) { return x == 0; }));
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_RAID5)->pDevice) == m.contents[4]);
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_MIRROR)->pDevice) == m.contents[3]);
    }
    {
        // The mirror's first member cannot read one sector: that sector comes from the second.
        // A RAID-5 column sector that cannot be read is rebuilt; two bad columns in a row fail.
        m.disks[1].m_bad.insert(kDataStart + 1900 + 10);
        m.disks[0].m_bad.insert(kDataStart + 2800 + 5);
        std::vector<DiskInfo> disks = m.Records({1, 2, 3});
        PartList parts;
        KivEnumDynamicVolumes(disks, &parts.v);
        int rc = 0;
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_MIRROR)->pDevice, &rc) == m.contents[3]);
        EXPECT_TRUE(ReadAll(ByLayout(parts, KIV_DYN_RAID5)->pDevice, &rc) == m.contents[4]);
        EXPECT_EQ(rc, 1);
        m.disks[1].m_bad.insert(kDataStart + 2600 + 5);
        ReadAll(ByLayout(parts, KIV_DYN_RAID5)->pDevice, &rc);
        EXPECT_EQ(rc, 0);
    }
}

TEST(Ldm, DamagedDatabasesNeverCrash) {
    Machine m;
    Bytes area(2046 * 512);
    m.disks[0].ReadSectors(area.data(), kConfigStart, 2046);
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        Bytes a = area;
        for (int i = 0; i < 40; ++i) a[17 * 512 + rng() % 4096] = uint8_t(rng());
        if (round % 3 == 0) a[512 + 36 + 17] = uint8_t(rng());
        CKivLdmDatabase db;
        db.ParseConfig(a);
        EXPECT_LE(db.Records().vols.size(), 5u);
    }
    // Whole disks with corrupted records through the volume builder (the records' sectors are put
    // back after each round).
    std::vector<Bytes> saved;
    for (auto& disk : m.disks)
        for (uint64_t s = 0; s < 8; ++s) saved.push_back(disk.Sector(kConfigStart + 18 + s));
    for (int round = 0; round < 40; ++round) {
        for (auto& disk : m.disks)
            for (int i = 0; i < 30; ++i) disk.Sector(kConfigStart + 18 + rng() % 8)[rng() % 512] = uint8_t(rng());
        std::vector<DiskInfo> disks = m.Records({1, 2, 3});
        PartList parts;
        KivEnumDynamicVolumes(disks, &parts.v);
        for (const PartInfo& r : parts.v) {
            Bytes b(64 * 512);
            r.pDevice->ReadSectors(b.data(), 0, std::min<uint64_t>(64, r.pDevice->GetSectorCount()));
        }
        size_t k = 0;
        for (auto& disk : m.disks)
            for (uint64_t s = 0; s < 8; ++s) disk.Sector(kConfigStart + 18 + s) = saved[k++];
    }
}
