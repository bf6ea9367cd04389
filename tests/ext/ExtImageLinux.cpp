// Whole volumes made by mke2fs from a folder (1 KiB and 4 KiB blocks, ext2 to ext4 features) and
// changed with debugfs: scanned, proposed, built, compared with The Sleuth Kit's listing and
// recovered byte for byte.
#include <algorithm>
#include <set>

#include "Ext/CKivExtTreeBuilder.h"
#include "ExtTestSupport.h"
#include "Model/CKivFileAttrExt.h"
#include "platform/KivPlatform.h"

using namespace kivext_test;

namespace {

// Files that take every way of mapping data: small (inline where the volume allows it), a few
// blocks, hundreds of KiB (indirect and double indirect with 1 KiB blocks), islands of data far
// apart (holes; triple indirect with 1 KiB blocks, an extent tree deeper than the inode with
// extents), nested folders, names beyond ASCII, short and long links, a folder of many names.
void FillSource(const TempDir& t, bool bMany) {
    const std::string src = t / "src";
    WriteAt(src + "/small.txt", 0, {'h', 'e', 'l', 'l', 'o', '\n'});
    WriteAt(src + "/five-k.bin", 0, RandomBytes(5000, 1));
    WriteAt(src + "/big.bin", 0, RandomBytes(300 << 10, 2));
    for (int i = 0; i < 3; ++i) WriteAt(src + "/islands.bin", uint64_t(i) * (35u << 20), RandomBytes(3000, 10 + i));
    for (int i = 0; i < 24; ++i) WriteAt(src + "/fragments.bin", uint64_t(i) * (64u << 10), RandomBytes(4096, 40 + i));
    WriteAt(src + "/a/b/c/deep.txt", 0, RandomBytes(1500, 3));
    WriteAt(src + "/a/sibling.dat", 0, RandomBytes(70000, 4));
    WriteAt(src + "/names/\xC3\xBCn\xC3\xAF\x63\xC3\xB8\x64\xC3\xA9-\xE5\x90\x8D\xE5\x89\x8D.txt", 0, RandomBytes(321, 5));
    std::filesystem::create_directories(src + "/empty");
    std::filesystem::create_symlink("small.txt", src + "/short-link");
    std::filesystem::create_symlink(std::string(120, 'x') + "/target", src + "/long-link");
    if (bMany)
        for (int i = 0; i < 400; ++i)
            WriteAt(src + "/many/file-with-a-rather-long-name-number-" + std::to_string(i) + ".txt", 0,
                    RandomBytes(size_t(i % 7) * 100 + 1, 1000 + i));
}

struct Layout {
    const char* name;
    const char* opts;
    int32_t nKind;
    uint32_t nBlock;
};

class ExtLayoutsLinux : public ::testing::TestWithParam<Layout> {};

}  // namespace

TEST_P(ExtLayoutsLinux, LiveTreeMatchesTheSleuthKitAndFilesComeBackByteForByte) {
    KIV_NEED_EXT_TOOLS();
    const Layout& l = GetParam();
    TempDir t;
    FillSource(t, true);
    MakeImage(t, l.opts, "160M");
    // Hashed folders: e2fsck indexes every folder big enough.
    ShellRun r = Sh(t, "e2fsck -fyD " + ShellQuote(t / "img"));
    ASSERT_LE(r.nExit, 1) << r.out << r.err;

    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_EQ(s.parts.size(), 1u) << "the primary and its backups make one volume";
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.pPart->m_nType, l.nKind);
    EXPECT_EQ(s.pPart->m_nBlockSize, l.nBlock);
    EXPECT_EQ(s.pPart->m_nFirstSector, 0u);
    EXPECT_EQ(s.pPart->m_nSectorCount, (160u << 20) / 512);
    EXPECT_TRUE(s.pPart->m_nEvidenceFlags & CKivScanResPartExt::kPrimary);
    EXPECT_GT(s.pPart->m_nBackups, 0u);
    ASSERT_NE(s.pRoot, nullptr);
    EXPECT_EQ(s.pRoot->GetFsType(), l.nKind);
    ExpectLiveTree(t, s);

    // Links come back as files holding their targets.
    Recovered out;
    RecoverAll(s, &out);
    auto link = ReadFile(out.Out("long-link"));
    EXPECT_EQ(std::string(link.begin(), link.end()), std::string(120, 'x') + "/target");
    link = ReadFile(out.Out("short-link"));
    EXPECT_EQ(std::string(link.begin(), link.end()), "small.txt");
}

INSTANTIATE_TEST_SUITE_P(
    Ext, ExtLayoutsLinux,
    ::testing::Values(Layout{"ext4_4k", "-t ext4 -b 4096", KIV_FS_EXT4, 4096},
                      Layout{"ext4_1k_nojournal", "-t ext4 -b 1024 -O ^has_journal", KIV_FS_EXT4, 1024},
                      Layout{"ext4_inline_64bit", "-t ext4 -b 4096 -I 256 -O inline_data,64bit,metadata_csum",
                             KIV_FS_EXT4, 4096},
                      Layout{"ext4_meta_bg", "-t ext4 -b 1024 -O meta_bg,^resize_inode", KIV_FS_EXT4, 1024},
                      Layout{"ext4_quota_orphan_file", "-t ext4 -b 4096 -O quota,orphan_file", KIV_FS_EXT4, 4096},
                      Layout{"ext3_1k", "-t ext3 -b 1024", KIV_FS_EXT3, 1024},
                      Layout{"ext2_1k", "-t ext2 -b 1024", KIV_FS_EXT2, 1024},
                      Layout{"ext2_4k_small_inodes", "-t ext2 -b 4096 -I 128", KIV_FS_EXT2, 4096}),
    [](const ::testing::TestParamInfo<Layout>& i) { return std::string(i.param.name); });

TEST(ExtImageLinux, LabelTimesAndInlineData) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 4096 -I 256 -O inline_data -L Linux-Disk", "32M");
    // Times to the nanosecond and a creation time, as the kernel writes them.
    Debugfs(t,
            "sif small.txt mtime 0x60406abf\nsif small.txt mtime_extra 0x1D6F3454\n"
            "sif small.txt crtime 0x5f000000\nsif small.txt crtime_extra 0x00000004\n");
    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    EXPECT_STREQ(s.pRoot->GetAttr()->GetName(), "Linux-Disk(EXT4 1)");
    EXPECT_STREQ(s.pRoot->GetLabel(), "Linux-Disk");
    IKivFileNode* p = Find(s.pRoot, "small.txt");
    ASSERT_NE(p, nullptr);
    auto* a = static_cast<CKivFileAttrExt*>(p->GetAttr());
    ASSERT_NE(a->GetHeldData(), nullptr) << "six bytes live in the inode";
    // 0x1D6F3454 >> 2 = 123456789 ns; the low bits extend the seconds (0 here).
    EXPECT_EQ(a->GetModificationTime(), KivUnixToFileTime(0x60406abf, 123456789));
    EXPECT_EQ(a->GetCreationTime(), KivUnixToFileTime(0x5f000000, 1));
    EXPECT_TRUE(a->GetValidFields() & KIV_VALID_CTIME);
    ExpectLiveTree(t, s);
}

TEST(ExtImageLinux, VolumeWhosePrimarySuperblockIsLostIsFoundByItsBackup) {
    KIV_NEED_EXT_TOOLS();
    for (const char* opts : {"-t ext4 -b 1024", "-t ext4 -b 4096 -O 64bit", "-t ext2 -b 1024"}) {
        SCOPED_TRACE(opts);
        TempDir t;
        FillSource(t, false);
        MakeImage(t, opts, "200M");
        // A partition table in front, so that the volume starts at sector 2048.
        Sh(t, "dd if=/dev/zero of=" + ShellQuote(t / "disk") + " bs=512 count=2048 status=none && cat " +
                  ShellQuote(t / "img") + " >> " + ShellQuote(t / "disk"));
        WriteAt(t / "disk", 2048 * 512 + 1024, std::vector<uint8_t>(1024, 0));
        Scanned s;
        ScanImage(t / "disk", &s);
        ASSERT_NE(s.pPart, nullptr);
        EXPECT_EQ(s.pPart->m_nFirstSector, 2048u);
        EXPECT_FALSE(s.pPart->m_nEvidenceFlags & CKivScanResPartExt::kPrimary);
        ASSERT_NE(s.pRoot, nullptr);
        ASSERT_NE(Find(s.pRoot, "a/b/c/deep.txt"), nullptr) << Dump(s.pRoot);
        Recovered out;
        RecoverAll(s, &out);
        EXPECT_TRUE(ReadFile(out.Out("big.bin")) == ReadFile(t / "src/big.bin"));
        EXPECT_TRUE(ReadFile(out.Out("islands.bin")) == ReadFile(t / "src/islands.bin"));
    }
}

TEST(ExtImageLinux, DeletedEntriesHiddenByAGrownRecLenComeBackByName) {
    KIV_NEED_EXT_TOOLS();
    for (const char* opts : {"-t ext4 -b 4096", "-t ext2 -b 1024"}) {
        SCOPED_TRACE(opts);
        TempDir t;
        FillSource(t, false);
        WriteAt(t / "src/a/zeroed.bin", 0, RandomBytes(9000, 77));
        MakeImage(t, opts, "64M");
        ShellRun r = Sh(t, "debugfs -R 'stat a/zeroed.bin' " + ShellQuote(t / "img"));
        size_t at = r.out.find("Inode: ");
        ASSERT_NE(at, std::string::npos) << r.out;
        std::string ino = std::to_string(std::stoul(r.out.substr(at + 7)));
        // debugfs frees the blocks but leaves the map, as ext2 and ext3 did; the third file is
        // deleted as ext4 deletes: its extents (or block pointers) and size are cleared in the inode.
        Debugfs(t, "rm big.bin\nrm a/b/c/deep.txt\nrm a/zeroed.bin\n");
        std::string sif;
        for (int i = 0; i < 15; ++i) sif += "sif <" + ino + "> block[" + std::to_string(i) + "] 0\n";
        Debugfs(t, sif + "sif <" + ino + "> size 0\n");
        // What is deleted is compared by hand below.
        std::filesystem::create_directories(t / "gone");
        for (const char* f : {"big.bin", "a/b/c/deep.txt", "a/zeroed.bin"})
            std::filesystem::rename(t / ("src/" + std::string(f)), t / ("gone/" + std::filesystem::path(f).filename().string()));

        Scanned s;
        ScanImage(t / "img", &s);
        ASSERT_NE(s.pRoot, nullptr);
        std::map<std::string, FlsEntry> fls = Fls(t), ours;
        TreePaths(s.pRoot, "", &ours);
        for (const char* path : {"big.bin", "a/b/c/deep.txt", "a/zeroed.bin"}) {
            ASSERT_TRUE(ours.count(path)) << path << "\n" << Dump(s.pRoot);
            EXPECT_TRUE(ours[path].bDeleted) << path;
            EXPECT_TRUE(fls.count(path) && fls[path].bDeleted) << path << ": The Sleuth Kit sees it deleted too";
        }
        ExpectLiveTree(t, s);

        Recovered out;
        RecoverAll(s, &out);
        EXPECT_TRUE(ReadFile(out.Out("big.bin")) == ReadFile(t / "gone/big.bin"));
        EXPECT_TRUE(ReadFile(out.Out("a/b/c/deep.txt")) == ReadFile(t / "gone/deep.txt"));
        EXPECT_FALSE(out.Damaged("big.bin"));
        // Where the cleared one lay is not known: reported, not passed off as recovered.
        auto* a = static_cast<CKivFileAttrExt*>(Find(s.pRoot, "a/zeroed.bin")->GetAttr());
        EXPECT_EQ(a->GetDamage(), CKivFileAttrExt::kNoMap);
        EXPECT_TRUE(out.Damaged("a/zeroed.bin") || out.Failed("a/zeroed.bin"));
    }
}

TEST(ExtImageLinux, DeletedFileWhoseBlocksANewFileTookIsReportedDamaged) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 1024 -O ^has_journal", "16M");
    // The new file is written where the deleted one's blocks were (the first free ones), in
    // another folder and with another inode (the deleted one's is held while it is written).
    WriteAt(t / "new.bin", 0, RandomBytes(400 << 10, 99));
    ShellRun r = Sh(t, "debugfs -R 'stat big.bin' " + ShellQuote(t / "img"));
    size_t at = r.out.find("Inode: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    std::string ino = "<" + std::to_string(std::stoul(r.out.substr(at + 7))) + ">";
    Debugfs(t, "rm big.bin\nseti " + ino + "\ncd a\nwrite " + t / "new.bin" + " new.bin\nfreei " + ino + "\n");
    std::filesystem::rename(t / "src/big.bin", t / "big.bin");
    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    IKivFileNode* p = Find(s.pRoot, "big.bin");
    ASSERT_NE(p, nullptr) << Dump(s.pRoot);
    EXPECT_EQ(static_cast<CKivFileAttrExt*>(p->GetAttr())->GetDamage(), CKivFileAttrExt::kReused);
    Recovered out;
    RecoverAll(s, &out);
    EXPECT_TRUE(out.Damaged("big.bin")) << "its data is another file's now";
    EXPECT_TRUE(ReadFile(out.Out("a/new.bin")) == ReadFile(t / "new.bin"));
}

TEST(ExtImageLinux, FailedChecksumsMarkWhatTheyCoverAndTheWalkGoesOn) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 1024 -O metadata_csum", "16M");
    // One byte of five-k.bin's inode (its access time) and one of a name in folder a's block.
    ShellRun r = Sh(t, "debugfs -R 'imap five-k.bin' " + ShellQuote(t / "img") + " && debugfs -R 'blocks a' " +
                           ShellQuote(t / "img"));
    ASSERT_EQ(r.nExit, 0) << r.err;
    size_t at = r.out.find("located at block ");
    ASSERT_NE(at, std::string::npos) << r.out;
    uint64_t nBlock = std::stoull(r.out.substr(at + 17));
    uint64_t nOff = std::stoull(r.out.substr(r.out.find("offset 0x", at) + 9), nullptr, 16);
    uint64_t nDirBlock = std::stoull(r.out.substr(r.out.find('\n', r.out.find("offset 0x", at)) + 1));
    std::vector<uint8_t> img = ReadFile(t / "img");
    img[nBlock * 1024 + nOff + 8] ^= 0x40;
    auto name = std::string(img.begin() + static_cast<std::ptrdiff_t>(nDirBlock * 1024),
                            img.begin() + static_cast<std::ptrdiff_t>(nDirBlock * 1024 + 1024));
    size_t nName = name.find("sibling.dat");
    ASSERT_NE(nName, std::string::npos);
    img[nDirBlock * 1024 + nName + 10] = 'x';
    WriteAt(t / "img", 0, img);

    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    auto damage = [&](const char* path) { return s.Damage<CKivFileAttrExt>(path); };
    EXPECT_EQ(damage("five-k.bin"), CKivFileAttrExt::kBadInodeSum);
    EXPECT_EQ(damage("a/sibling.dax"), CKivFileAttrExt::kBadDirSum);
    EXPECT_EQ(damage("a/b/c/deep.txt"), CKivFileAttrExt::kIntact) << "the walk goes on below the bad block";
    EXPECT_EQ(damage("big.bin"), CKivFileAttrExt::kIntact);
    Recovered out;
    RecoverAll(s, &out);
    EXPECT_TRUE(out.Damaged("five-k.bin"));
    EXPECT_TRUE(ReadFile(out.Out("five-k.bin")) == ReadFile(t / "src/five-k.bin")) << "written, and reported";
}

namespace {

// Where inode of path lies: block and offset (debugfs imap).
std::pair<uint64_t, uint64_t> InodePlace(const TempDir& t, const std::string& path) {
    ShellRun r = Sh(t, "debugfs -R " + ShellQuote("imap " + path) + " " + ShellQuote(t / "img"));
    size_t at = r.out.find("located at block ");
    if (at == std::string::npos) return {0, 0};
    return {std::stoull(r.out.substr(at + 17)), std::stoull(r.out.substr(r.out.find("offset 0x", at) + 9), nullptr, 16)};
}

std::string InodeNumber(const TempDir& t, const std::string& path) {
    ShellRun r = Sh(t, "debugfs -R " + ShellQuote("stat " + path) + " " + ShellQuote(t / "img"));
    size_t at = r.out.find("Inode: ");
    return at == std::string::npos ? "" : std::to_string(std::stoul(r.out.substr(at + 7)));
}

}  // namespace

// ext4 as the kernel deletes: the inode keeps its generation but loses its size and extents. A
// transaction in the journal from before the deletion (replayed long since: the journal is clean)
// still holds the inode table block with them.
TEST(ExtImageLinux, DeletedFilesWithClearedInodesComeBackThroughTheJournal) {
    KIV_NEED_EXT_TOOLS();
    for (const char* opts : {"-t ext4 -b 1024", "-t ext4 -b 4096 -O 64bit,metadata_csum"}) {
        SCOPED_TRACE(opts);
        TempDir t;
        FillSource(t, false);
        MakeImage(t, opts, "64M");
        const uint32_t bs = std::string(opts).find("4096") != std::string::npos ? 4096 : 1024;
        std::vector<std::string> gone = {"big.bin", "a/sibling.dat", "fragments.bin", "five-k.bin"};
        std::string log = "jo\n", del;
        std::set<uint64_t> logged;
        for (const std::string& f : gone) {
            auto [nBlock, nOff] = InodePlace(t, f);
            ASSERT_NE(nBlock, 0u) << f;
            std::string ino = InodeNumber(t, f);
            del += "rm " + f + "\n";
            if (logged.insert(nBlock).second) {
                std::vector<uint8_t> img = ReadFile(t / "img");
                std::vector<uint8_t> blk(img.begin() + static_cast<std::ptrdiff_t>(nBlock * bs),
                                         img.begin() + static_cast<std::ptrdiff_t>((nBlock + 1) * bs));
                std::string copy = t / ("blk" + std::to_string(nBlock));
                WriteAt(copy, 0, blk);
                log += "jw -b " + std::to_string(nBlock) + " " + copy + "\n";
            }
            for (int i = 0; i < 15; ++i) del += "sif <" + ino + "> block[" + std::to_string(i) + "] 0\n";
            del += "sif <" + ino + "> block[0] 0x0004F30A\nsif <" + ino + "> size 0\n";
            // five-k.bin's inode went to another file and was freed again since: the journal's
            // copy is of another life of the inode and places nothing.
            if (f == "five-k.bin") del += "sif <" + ino + "> generation 0x5eed\n";
        }
        Debugfs(t, log + "jc\njo\njr\n");
        Debugfs(t, del);
        for (const std::string& f : gone)
            std::filesystem::rename(t / ("src/" + f), t / ("gone-" + std::filesystem::path(f).filename().string()));

        Scanned s;
        ScanImage(t / "img", &s);
        ASSERT_NE(s.pRoot, nullptr);
        CKivExtTreeBuilder b(s.pPart, s.pStor.get(), nullptr, nullptr, 0);
        IKivFsNode* pAgain = b.Build();
        ASSERT_NE(pAgain, nullptr);
        pAgain->Release();
        EXPECT_EQ(b.FromJournal(), 3u);
        ExpectLiveTree(t, s);
        Recovered out;
        RecoverAll(s, &out);
        for (const std::string& f : gone) {
            IKivFileNode* p = Find(s.pRoot, f);
            ASSERT_NE(p, nullptr) << f << "\n" << Dump(s.pRoot);
            EXPECT_TRUE(p->GetAttr()->GetRecordState() & KIV_REC_DELETED) << f;
            if (f == "five-k.bin") {
                EXPECT_EQ(static_cast<CKivFileAttrExt*>(p->GetAttr())->GetDamage(), CKivFileAttrExt::kNoMap);
                EXPECT_TRUE(out.Damaged(f) || out.Failed(f)) << f;
                continue;
            }
            EXPECT_FALSE(out.Damaged(f)) << f;
            EXPECT_TRUE(ReadFile(out.Out(f)) == ReadFile(t / ("gone-" + std::filesystem::path(f).filename().string())))
                << f << " differs";
        }
    }
}

TEST(ExtImageLinux, InodesNoFolderNamesGoToTheLostFolderWithWhatTheyHold) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 1024", "32M");
    std::string nA = InodeNumber(t, "a"), nFive = InodeNumber(t, "five-k.bin"), nC = InodeNumber(t, "a/b/c");
    // The names go, the inodes stay in use (a folder block lost, a file deleted while open).
    Debugfs(t, "unlink a\nunlink five-k.bin\n");
    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    const std::string lost = std::string(KIV_NAME_LOST_DIR) + "/";
    EXPECT_EQ(Find(s.pRoot, "a"), nullptr);
    ASSERT_NE(Find(s.pRoot, lost + "#" + nA + "/b/c/deep.txt"), nullptr) << Dump(s.pRoot);
    EXPECT_EQ(Find(s.pRoot, lost + "#" + nC), nullptr) << "shown inside its lost parent only";
    ASSERT_NE(Find(s.pRoot, lost + "#" + nFive), nullptr) << Dump(s.pRoot);
    Recovered out;
    RecoverAll(s, &out);
    EXPECT_TRUE(ReadFile(out.Out(lost + "#" + nFive)) == ReadFile(t / "src/five-k.bin"));
    EXPECT_TRUE(ReadFile(out.Out(lost + "#" + nA + "/sibling.dat")) == ReadFile(t / "src/a/sibling.dat"));
    EXPECT_TRUE(out.cb.failed.empty());
}

// A folder deleted with everything in it, as the kernel deletes: each entry hidden, each inode
// cleared. The journal's copies of the inode-table blocks place the folder, whose blocks still
// hold the hidden entries, and then its files.
TEST(ExtImageLinux, DeletedFolderTreeComesBackThroughTheJournal) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 4096", "64M");
    std::vector<std::string> tree = {"a/b/c/deep.txt", "a/b/c", "a/b", "a/sibling.dat", "a"};
    std::string log = "jo\n", del;
    std::set<uint64_t> logged;
    std::vector<uint8_t> img = ReadFile(t / "img");
    for (const std::string& f : tree) {
        auto [nBlock, nOff] = InodePlace(t, f);
        ASSERT_NE(nBlock, 0u) << f;
        if (logged.insert(nBlock).second) {
            std::string copy = t / ("blk" + std::to_string(nBlock));
            WriteAt(copy, 0, std::vector<uint8_t>(img.begin() + static_cast<std::ptrdiff_t>(nBlock * 4096),
                                                  img.begin() + static_cast<std::ptrdiff_t>((nBlock + 1) * 4096)));
            log += "jw -b " + std::to_string(nBlock) + " " + copy + "\n";
        }
        std::string ino = InodeNumber(t, f);
        del += (f.find('.') != std::string::npos ? "rm " : "rmdir ") + f + "\n";
        std::string clear;
        for (int i = 0; i < 15; ++i) clear += "sif <" + ino + "> block[" + std::to_string(i) + "] 0\n";
        del += clear + "sif <" + ino + "> block[0] 0x0004F30A\nsif <" + ino + "> size 0\n";
    }
    Debugfs(t, log + "jc\njo\njr\n");
    Debugfs(t, del);
    std::filesystem::rename(t / "src/a", t / "gone");

    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    ExpectLiveTree(t, s);
    Recovered out;
    RecoverAll(s, &out);
    for (const char* f : {"a/b/c/deep.txt", "a/sibling.dat"}) {
        IKivFileNode* p = Find(s.pRoot, f);
        ASSERT_NE(p, nullptr) << f << "\n" << Dump(s.pRoot);
        EXPECT_TRUE(p->GetAttr()->GetRecordState() & KIV_REC_DELETED);
        EXPECT_FALSE(out.Damaged(f)) << f;
        EXPECT_TRUE(ReadFile(out.Out(f)) == ReadFile(t / ("gone" + std::string(f).substr(1)))) << f;
    }
}

// Deleted through the kernel, which wipes a deleted entry in place and clears its inode: only the
// journal's older copies of the folder blocks still name the files, and of the inode-table blocks
// still map them. Needs root and a loop device (skipped without).
TEST(ExtImageLinux, FilesTheKernelDeletedComeBackByNameFromTheJournal) {
    KIV_NEED_EXT_TOOLS();
    if (::geteuid() != 0) GTEST_SKIP() << "a loop mount needs root";
    for (const char* opts : {"-t ext4 -b 1024 -O ^metadata_csum", "-t ext4 -b 4096"}) {
        SCOPED_TRACE(opts);
        TempDir t;
        FillSource(t, false);
        // Written through the kernel too, so that the journal saw the files while they lived.
        std::filesystem::rename(t / "src", t / "fill");
        std::filesystem::create_directories(t / "src");
        MakeImage(t, opts, "64M");
        std::filesystem::create_directories(t / "mnt");
        const std::string img = ShellQuote(t / "img"), mnt = ShellQuote(t / "mnt");
        if (Sh(t, "mount -o loop " + img + " " + mnt).nExit != 0) GTEST_SKIP() << "no loop mount here";
        ShellRun r = Sh(t, "cp -a " + ShellQuote(t / "fill") + "/. " + mnt + " && sync; umount " + mnt + " && mount -o loop " +
                               img + " " + mnt + " && cd " + mnt + " && rm big.bin a/sibling.dat && rm -r a/b && cd / && sync; umount " +
                               mnt);
        ASSERT_EQ(r.nExit, 0) << r.err;
        std::filesystem::remove_all(t / "src");
        std::filesystem::rename(t / "fill", t / "src");
        for (const char* f : {"big.bin", "a/sibling.dat", "a/b/c/deep.txt"}) {
            std::filesystem::create_directories(std::filesystem::path(t / ("gone/" + std::string(f))).parent_path());
            std::filesystem::rename(t / ("src/" + std::string(f)), t / ("gone/" + std::string(f)));
        }
        std::filesystem::remove_all(t / "src/a/b");

        Scanned s;
        ScanImage(t / "img", &s);
        ASSERT_NE(s.pRoot, nullptr);
        ExpectLiveTree(t, s);
        Recovered out;
        RecoverAll(s, &out);
        for (const char* f : {"big.bin", "a/sibling.dat", "a/b/c/deep.txt"}) {
            IKivFileNode* p = Find(s.pRoot, f);
            ASSERT_NE(p, nullptr) << f << "\n" << Dump(s.pRoot);
            EXPECT_TRUE(p->GetAttr()->GetRecordState() & KIV_REC_DELETED) << f;
            EXPECT_FALSE(out.Damaged(f)) << f;
            EXPECT_TRUE(ReadFile(out.Out(f)) == ReadFile(t / ("gone/" + std::string(f)))) << f;
        }
    }
}

// A deleted file whose name is wiped everywhere and whose cleared inode only the journal still
// maps: it goes to the lost folder as #<inode>, not out of sight.
TEST(ExtImageLinux, DeletedFileOnlyTheJournalKnowsGoesToTheLostFolder) {
    KIV_NEED_EXT_TOOLS();
    TempDir t;
    FillSource(t, false);
    MakeImage(t, "-t ext4 -b 1024 -O ^metadata_csum", "32M");
    auto [nBlock, nOff] = InodePlace(t, "big.bin");
    ASSERT_NE(nBlock, 0u);
    std::string ino = InodeNumber(t, "big.bin");
    std::vector<uint8_t> img = ReadFile(t / "img");
    WriteAt(t / "blk", 0, std::vector<uint8_t>(img.begin() + static_cast<std::ptrdiff_t>(nBlock * 1024),
                                               img.begin() + static_cast<std::ptrdiff_t>((nBlock + 1) * 1024)));
    std::string del = "rm big.bin\n";
    for (int i = 0; i < 15; ++i) del += "sif <" + ino + "> block[" + std::to_string(i) + "] 0\n";
    Debugfs(t, "jo\njw -b " + std::to_string(nBlock) + " " + (t / "blk") + "\njc\njo\njr\n");
    Debugfs(t, del + "sif <" + ino + "> block[0] 0x0004F30A\nsif <" + ino + "> size 0\n");
    // The name wiped as the kernel wipes it.
    img = ReadFile(t / "img");
    const std::string name = "big.bin";
    auto at = std::search(img.begin(), img.end(), name.begin(), name.end());
    ASSERT_NE(at, img.end());
    ASSERT_EQ(std::search(at + 1, img.end(), name.begin(), name.end()), img.end()) << "one copy of the name";
    WriteAt(t / "img", static_cast<uint64_t>(at - img.begin()) - 8, std::vector<uint8_t>(8 + name.size(), 0));
    std::filesystem::rename(t / "src/big.bin", t / "gone.bin");

    Scanned s;
    ScanImage(t / "img", &s);
    ASSERT_NE(s.pRoot, nullptr);
    const std::string lost = std::string(KIV_NAME_LOST_DIR) + "/#" + ino;
    IKivFileNode* p = Find(s.pRoot, lost);
    ASSERT_NE(p, nullptr) << Dump(s.pRoot);
    EXPECT_TRUE(p->GetAttr()->GetRecordState() & KIV_REC_DELETED);
    Recovered out;
    RecoverAll(s, &out);
    EXPECT_FALSE(out.Damaged(lost));
    EXPECT_TRUE(ReadFile(out.Out(lost)) == ReadFile(t / "gone.bin"));
}
