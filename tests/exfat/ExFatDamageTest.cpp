// Real volumes with parts destroyed the way cards lose them: boot regions, the start of the volume,
// its end; and hostile structures written into them. Everything is found that is left, nothing
// crashes or hangs, and what cannot be right is reported.
#include <random>

#include "ExFat/CKivExFatBootSector.h"
#include "ExFat/CKivExFatEntrySet.h"
#include "ExFatTestSupport.h"
#include "KivByteReader.h"
#include "Model/CKivFileAttrExFAT.h"

using namespace kivexfat_test;

namespace {

// The geometry of the undamaged live image, from its boot sector.
struct Layout {
    uint64_t nHeapByte = 0;
    uint64_t nClusterBytes = 0;
    uint64_t nFatByte = 0;
    uint32_t nRoot = 0;
    uint64_t At(uint32_t c) const { return nHeapByte + (c - 2) * nClusterBytes; }
};

Layout LayoutOf(const std::vector<uint8_t>& img) {
    CKivExFatBootSector bs;
    EXPECT_TRUE(bs.Parse(std::span<const uint8_t>(img.data(), 512), 512));
    return {uint64_t(bs.m_nHeapOffset) * 512, uint64_t(512) << bs.m_nClusterShift, uint64_t(bs.m_nFatOffset) * 512,
            bs.m_nRootCluster};
}

void Zero(std::vector<uint8_t>* img, uint64_t nByte, uint64_t nLen) {
    std::fill_n(img->begin() + static_cast<std::ptrdiff_t>(nByte), nLen, 0);
}

void ScanBytes(std::vector<uint8_t> img, Scanned* out) { ScanStorage(new KivMemDevStor(std::move(img)), out); }

// The first cluster of the entry at path in a tree of the undamaged image.
uint32_t FirstCluster(Scanned& s, const std::string& path) {
    IKivFileNode* p = Find(s.pRoot, path);
    EXPECT_NE(p, nullptr) << path;
    return p ? static_cast<CKivFileAttrExFAT*>(p->GetAttr())->GetFirstCluster() : 0;
}

// Byte offset of the File entry of the set named name inside the directory at nDirByte.
size_t SetOffset(const std::vector<uint8_t>& img, uint64_t nDirByte, uint64_t nLen, const std::u16string& name) {
    std::span<const uint8_t> dir(img.data() + nDirByte, nLen);
    for (size_t off = 0; off + 32 <= dir.size(); off += 32) {
        CKivExFatEntrySet set;
        if (set.Parse(dir, off) == CKivExFatEntrySet::kValid && set.m_name == name) return size_t(nDirByte + off);
    }
    ADD_FAILURE() << "no such set";
    return 0;
}

void Reseal(std::vector<uint8_t>* img, size_t nSet) {
    size_t n = size_t((*img)[nSet + 1]) + 1;
    uint16_t sum = CKivExFatEntrySet::Checksum(std::span<const uint8_t>(img->data() + nSet, n * 32), n, false);
    (*img)[nSet + 2] = uint8_t(sum);
    (*img)[nSet + 3] = uint8_t(sum >> 8);
}

void PutU32(std::vector<uint8_t>* img, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) (*img)[at + i] = uint8_t(v >> (8 * i));
}

// Path of a node below the partition node.
std::string PathOf(IKivFileNode* p) {
    std::string s;
    for (; p && !p->IsFsNode(); p = p->GetParent()) s = std::string(p->GetAttr()->GetName()) + (s.empty() ? "" : "/") + s;
    return s;
}

IKivFileNode* FindByName(IKivFileNode* pDir, const std::string& name) {
    for (IKivFileNode* c = pDir->GetFirstChild(); c; c = c->GetNextSibling()) {
        if (name == c->GetAttr()->GetName()) return c;
        if (IKivFileNode* p = FindByName(c, name)) return p;
    }
    return nullptr;
}

}  // namespace

TEST(ExFatDamage, MainBootRegionZeroedIsFoundFromTheBackup) {
    std::vector<uint8_t> img = ImageBytes("live");
    Zero(&img, 0, 12 * 512);
    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.Selected(), 1u);
    EXPECT_EQ(s.pPart->m_nFirstSector, 0u);
    uint32_t f = s.pPart->m_nEvidenceFlags;
    EXPECT_TRUE((f & KIV_EXFAT_BOOT_BACKUP) && (f & KIV_EXFAT_SUM_BACKUP) && !(f & KIV_EXFAT_BOOT_MAIN)) << f;
    ExpectManifest(s, "live");
}

TEST(ExFatDamage, BothBootRegionsZeroedAreFoundFromRootUpcaseAndFat) {
    std::vector<uint8_t> img = ImageBytes("live");
    Layout l = LayoutOf(img);
    Zero(&img, 0, 24 * 512);
    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.Selected(), 1u);
    uint32_t f = s.pPart->m_nEvidenceFlags;
    EXPECT_EQ(f & (KIV_EXFAT_FROM_DIRS | KIV_EXFAT_FAT1 | KIV_EXFAT_ROOT | KIV_EXFAT_UPCASE),
              uint32_t(KIV_EXFAT_FROM_DIRS | KIV_EXFAT_FAT1 | KIV_EXFAT_ROOT | KIV_EXFAT_UPCASE));
    EXPECT_EQ(s.pPart->m_nDataStart * 512, l.nHeapByte);
    EXPECT_EQ(s.pPart->m_nSecPerClus32 * 512u, l.nClusterBytes);
    EXPECT_EQ(s.pPart->m_nFirstSector * 512, l.nFatByte) << "the volume starts at its FAT as far as is known";
    EXPECT_STREQ(s.pRoot->GetLabel(), "CAMERA");
    ExpectManifest(s, "live");
}

TEST(ExFatDamage, VolumeWhoseStartIsWipedIsFoundFromItsFolders) {
    // Boot regions, FAT, bitmap, up-case table, root and the first folders gone: only folders
    // further in say where the clusters lie.
    std::vector<uint8_t> img = ImageBytes("live");
    Layout l = LayoutOf(img);
    Zero(&img, 0, l.At(10));
    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.Selected(), 1u);
    EXPECT_TRUE(s.pPart->m_nEvidenceFlags & KIV_EXFAT_FROM_DIRS);
    EXPECT_EQ(s.pPart->m_nDataStart * 512, l.nHeapByte);
    EXPECT_EQ(s.pPart->m_nSecPerClus32 * 512u, l.nClusterBytes);
    ASSERT_NE(Child(s.pRoot, KIV_NAME_LOST_DIR), nullptr) << Dump(s.pRoot);
    Recovered out;
    RecoverAll(s, &out);
    // Files of folders that survived come back whole, in lost folders.
    for (const char* path : {"Deep/Level01/Level02/Level03/Level04/Level05/Level06/Level07/Level08/Level09/Level10/"
                             "Level11/Level12/bottom.txt",
                             "Trash Folder/Inner/note two.txt", "Fotos für Oma/Grüße aus Köln – 日本語 😀.jpg"}) {
        std::string name = std::string(path).substr(std::string(path).rfind('/') + 1);
        IKivFileNode* p = FindByName(s.pRoot, name);
        ASSERT_NE(p, nullptr) << name << "\n" << Dump(s.pRoot);
        EXPECT_TRUE(ReadFile(out.Out(PathOf(p))) == ReadFile(ImageDir() + "/src/live/" + path)) << path;
    }
}

TEST(ExFatDamage, VolumeCutShortReportsWhatLayBeyondTheEnd) {
    Scanned whole;
    ScanImage("live", &whole);
    ASSERT_NE(whole.pRoot, nullptr);
    std::vector<uint8_t> img = ImageBytes("live");
    Layout l = LayoutOf(img);
    uint32_t nCut = FirstCluster(whole, "spacer-b.bin");
    img.resize(l.At(nCut) + 4096 * 2);  // the middle of spacer-b.bin
    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.Selected(), 1u);
    Recovered out;
    RecoverAll(s, &out);
    for (const char* path : {"spacer-b.bin", "valid-short.bin", "keeper.bin"}) {
        IKivFileNode* p = Find(s.pRoot, path);
        ASSERT_NE(p, nullptr) << path;
        EXPECT_EQ(static_cast<CKivFileAttrExFAT*>(p->GetAttr())->GetDamage(), CKivFileAttrExFAT::kPastEnd) << path;
    }
    // Partly there: written with zeros for the rest and said to be damaged. Wholly past the end:
    // nothing to write, so it fails rather than coming back as zeros.
    EXPECT_TRUE(out.Damaged("spacer-b.bin"));
    for (const char* path : {"valid-short.bin", "keeper.bin"}) {
        EXPECT_TRUE(out.Failed(path)) << path;
        EXPECT_FALSE(std::filesystem::exists(out.Out(path))) << path;
    }
    EXPECT_TRUE(ReadFile(out.Out("spacer-a.bin")) == ReadFile(ImageDir() + "/src/live/spacer-a.bin"));
    EXPECT_FALSE(out.Damaged("spacer-a.bin"));
}

TEST(ExFatHostile, LoopsOutsideClustersAndSelfContainingFoldersAreCutNotFollowed) {
    Scanned whole;
    ScanImage("live", &whole);
    ASSERT_NE(whole.pRoot, nullptr);
    std::vector<uint8_t> img = ImageBytes("live");
    Layout l = LayoutOf(img);
    // A chain that loops back into itself.
    uint32_t nFrag = FirstCluster(whole, "fragmented.bin");
    PutU32(&img, l.nFatByte + 4 * size_t(nFrag + 1), nFrag);
    // A root whose chain points at itself.
    PutU32(&img, l.nFatByte + 4 * size_t(l.nRoot), l.nRoot);
    // A file whose first cluster lies far outside the heap.
    size_t nEmpty = SetOffset(img, l.At(l.nRoot), l.nClusterBytes, u"spacer-a.bin");
    PutU32(&img, nEmpty + 32 + 20, 0xFFFFFF00u);
    Reseal(&img, nEmpty);
    // A folder whose content is its own parent's (and so its own ancestor's).
    uint32_t nLevel01 = FirstCluster(whole, "Deep/Level01");
    uint32_t nDeep = FirstCluster(whole, "Deep");
    size_t nL2 = SetOffset(img, l.At(nLevel01), l.nClusterBytes, u"Level02");
    PutU32(&img, nL2 + 32 + 20, nDeep);
    Reseal(&img, nL2);

    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pRoot, nullptr);
    auto damage = [&](const char* path) { return s.Damage<CKivFileAttrExFAT>(path); };
    EXPECT_EQ(damage("fragmented.bin"), CKivFileAttrExFAT::kBadChain);
    EXPECT_EQ(damage("spacer-a.bin"), CKivFileAttrExFAT::kPastEnd);
    IKivFileNode* pL2 = Find(s.pRoot, "Deep/Level01/Level02");
    EXPECT_EQ(pL2 ? pL2->GetFirstChild() : nullptr, nullptr) << "a folder never holds its ancestor";
    EXPECT_NE(Find(s.pRoot, "DCIM/100CANON/IMG_0060.JPG"), nullptr) << "the rest of the tree stays";
    Recovered out;
    RecoverAll(s, &out);
    EXPECT_TRUE(out.Damaged("fragmented.bin"));
    EXPECT_TRUE(out.Damaged("spacer-a.bin") || !out.cb.failed.empty());
}

TEST(ExFatHostile, SetsRunningPastTheirFolderAndAShortBitmap) {
    Scanned whole;
    ScanImage("live", &whole);
    ASSERT_NE(whole.pRoot, nullptr);
    std::vector<uint8_t> img = ImageBytes("live");
    Layout l = LayoutOf(img);
    // The bitmap claims one byte: eight clusters.
    std::span<const uint8_t> root(img.data() + l.At(l.nRoot), l.nClusterBytes);
    for (size_t off = 0; off < root.size(); off += 32)
        if (root[off] == 0x81) PutU32(&img, l.At(l.nRoot) + off + 24, 1);
    // The last set of a one-cluster folder claims eighteen secondaries, past the folder's end.
    uint32_t nBottom = FirstCluster(whole, "Deep/Level01/Level02/Level03/Level04/Level05/Level06/Level07/Level08/"
                                           "Level09/Level10/Level11/Level12");
    size_t nSet = SetOffset(img, l.At(nBottom), l.nClusterBytes, u"bottom.txt");
    size_t nMove = size_t(l.At(nBottom) + l.nClusterBytes - 3 * 32);
    std::copy_n(img.begin() + std::ptrdiff_t(nSet), 96, img.begin() + std::ptrdiff_t(nMove));
    // What lies before it: unused entries, not the end mark, so that the walk reaches it.
    for (size_t off = nSet; off < nMove; off += 32) {
        Zero(&img, off, 32);
        img[off] = 0x41;
    }
    img[nMove + 1] = 18;
    Scanned s;
    ScanBytes(std::move(img), &s);
    ASSERT_NE(s.pRoot, nullptr);
    IKivFileNode* pLevel12 = Find(s.pRoot, "Deep/Level01/Level02/Level03/Level04/Level05/Level06/Level07/Level08/"
                                           "Level09/Level10/Level11/Level12");
    ASSERT_NE(pLevel12, nullptr) << Dump(s.pRoot);
    EXPECT_EQ(pLevel12->GetFirstChild(), nullptr) << "the cut set is left out";
    EXPECT_NE(Find(s.pRoot, "Trash Folder/Inner/note two.txt"), nullptr) << Dump(s.pRoot);
    EXPECT_NE(Find(s.pRoot, "DCIM/100CANON/IMG_0007.JPG"), nullptr);
}

TEST(ExFatHostile, RandomDamageToEveryStructureNeverCrashes) {
    // The first 8 MiB of the card hold every structure and all its files: damaged over and over,
    // scanned and built under the sanitizers.
    std::vector<uint8_t> base = ImageBytes("live");
    Layout l = LayoutOf(base);
    base.resize(8u << 20);
    std::mt19937_64 rng(19);
    for (int round = 0; round < 12; ++round) {
        std::vector<uint8_t> img = base;
        uint64_t nMeta = l.At(40);  // boot regions, FAT, bitmap, up-case, root and folders
        for (int i = 0; i < 400; ++i) {
            uint64_t at = rng() % nMeta;
            img[at] = uint8_t(rng());
        }
        // Sets with sound checksums but wild fields: the checks past the checksum must hold too.
        for (uint64_t off = l.At(l.nRoot); off + 96 < l.At(40); off += 32) {
            if (img[off] != 0x85 || rng() % 3) continue;
            img[off + 32 + 3] = uint8_t(rng());         // name length
            PutU32(&img, off + 32 + 20, uint32_t(rng()));  // first cluster
            img[off + 32 + 1] = uint8_t(rng());         // flags
            Reseal(&img, off);
        }
        Scanned s;
        ScanBytes(std::move(img), &s);
        SCOPED_TRACE(round);
        if (s.pRoot) {
            EXPECT_EQ(s.pRoot->GetFsType(), KIV_FS_EXFAT);
        }
    }
}
