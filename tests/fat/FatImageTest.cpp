// Whole images made by mkfs.fat and mtools: scanned, proposed, built and read back.

#include <nlohmann/json.hpp>

#include "FatTestSupport.h"
#include "KivRunCommand.h"
#include "Model/IKivAttrDataInfo.h"

using namespace kivfat_test;
namespace fs = std::filesystem;

namespace {

// The file at path comes back byte-identical to the source the script left, with the state given.
void ExpectFile(Built& b, const std::string& image, const std::string& path, bool bDeleted) {
    kivfat_test::ExpectFile(b, image, path, path, bDeleted, false);
}

}  // namespace

TEST(FatImage, Fat12FloppyLiveAndDeletedNames) {
    Built b;
    BuildImage("fat12.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT12);
    EXPECT_EQ(b.pPart->m_nEvidenceFlags & 0x3C1, 0x3C1u) << "FAT12 boot sector and both FAT copies";
    EXPECT_EQ(b.pPart->m_nFirstSector, 0u);
    EXPECT_STREQ(b.pRoot->GetAttr()->GetName(), "FLOPPY(FAT12 1)");
    EXPECT_STREQ(b.pRoot->GetLabel(), "FLOPPY");
    ExpectFile(b, "fat12", "README.TXT", false);
    ExpectFile(b, "fat12", "A long file name.bin", false);
    ExpectFile(b, "fat12", "Grüße-ñandú.dat", false);
    ExpectFile(b, "fat12", "Docs/report 2024.doc", false);
    ExpectFile(b, "fat12", "Docs/Old/letter.txt", false);
    ExpectFile(b, "fat12", "Gone photo.jpg", true);
    // Without a long name the first letter of a deleted short name is lost.
    IKivFileNode* pShort = Find(b.pRoot, "_hort.txt");
    ASSERT_NE(pShort, nullptr) << Dump(b.pRoot);
    EXPECT_TRUE(ReadNode(pShort, b.pStor.get()) == ReadFile(ImageDir() + "/src/fat12/short.txt"));
    // A deleted folder comes back with its entries marked deleted.
    IKivFileNode* pTrash = Find(b.pRoot, "Trash");
    ASSERT_NE(pTrash, nullptr) << Dump(b.pRoot);
    EXPECT_TRUE(pTrash->GetAttr()->GetRecordState() & KIV_REC_DELETED);
    ExpectFile(b, "fat12", "Trash/A note.txt", true);
    ExpectFile(b, "fat12", "Trash/second file.txt", true);
}

TEST(FatImage, Fat16FragmentedFilesLiveAndDeleted) {
    Built b;
    BuildImage("fat16.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT16);
    EXPECT_EQ(b.pPart->m_nEvidenceFlags & 0x3C3, 0x3C2u) << "FAT16 boot sector, both FAT copies";
    EXPECT_EQ(b.pPart->m_nEvidenceC, 100u);
    ExpectFile(b, "fat16", "live.bin", false);
    ExpectFile(b, "fat16", "Live/Fragmented live.bin", false);
    // Deleted around a live file: the live file's cluster is skipped, not taken.
    ExpectFile(b, "fat16", "Fragmented deleted.bin", true);
    IKivFileNode* pDel = Find(b.pRoot, "Fragmented deleted.bin");
    ASSERT_NE(pDel, nullptr);
    std::unique_ptr<IDataRunList> delRuns(pDel->GetAttr()->GetDataRunList());
    EXPECT_EQ(delRuns->GetRunCount(), 2u) << "the deleted file was meant to lie around live.bin";
    ExpectFile(b, "fat16", "Photos/holiday picture 3.jpg", true);
    for (int i : {1, 2, 4, 5, 6}) ExpectFile(b, "fat16", "Photos/holiday picture " + std::to_string(i) + ".jpg", false);

    IKivFileNode* pFrag = Find(b.pRoot, "Live/Fragmented live.bin");
    ASSERT_NE(pFrag, nullptr);
    std::unique_ptr<IDataRunList> runs(pFrag->GetAttr()->GetDataRunList());
    EXPECT_GE(runs->GetRunCount(), 2u) << "the live file was meant to be fragmented";
}

TEST(FatImage, Fat32DeletedFolderTree) {
    Built b;
    BuildImage("fat32.img", &b);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT32);
    EXPECT_EQ(b.pPart->m_nEvidenceFlags & 0x0C, 0x0Cu) << "boot sector and its backup";
    EXPECT_STREQ(b.pRoot->GetLabel(), "DATA32");
    ExpectFile(b, "fat32", "top.txt", false);
    ExpectFile(b, "fat32", "Projects/Beta/beta.bin", false);
    ExpectFile(b, "fat32", "Projects/plan.doc", false);
    ExpectFile(b, "fat32", "Projects/Alpha/notes for alpha.txt", true);
    ExpectFile(b, "fat32", "Projects/Alpha/Data set.bin", true);
    // In the recycle bin the data entry carries the name it had before deletion.
    IKivFileNode* pBin = Find(b.pRoot, "$RECYCLE.BIN/S-1-5-21-1001");
    ASSERT_NE(pBin, nullptr) << Dump(b.pRoot);
    IKivFileNode* pData = Child(pBin, "Budget 2024.txt");
    ASSERT_NE(pData, nullptr) << Dump(pBin);
    EXPECT_TRUE(ReadNode(pData, b.pStor.get()) ==
                ReadFile(ImageDir() + "/src/fat32/$RECYCLE.BIN/S-1-5-21-1001/$RAB12CD.txt"));
    EXPECT_NE(Child(pBin, "$IAB12CD.txt"), nullptr);
}

TEST(FatImage, ReformattedVolumeFindsOldFolders) {
    Built b;
    BuildImage("reformat.img", &b);
    // The old folders hang under the partition as reconstructed "Dir%d" folders, or under an old
    // folder found the same way; either way the files come back with their names.
    IKivFileNode* pKept = nullptr;
    IKivFileNode* pDeep = nullptr;
    for (IKivFileNode* c = b.pRoot->GetFirstChild(); c; c = c->GetNextSibling()) {
        if (!pKept) pKept = Child(c, "kept.bin");
        if (!pDeep) pDeep = Find(c, "Deep/deep file.bin");
        if (!pDeep) pDeep = Child(c, "deep file.bin");
    }
    ASSERT_NE(pKept, nullptr) << Dump(b.pRoot);
    ASSERT_NE(pDeep, nullptr) << Dump(b.pRoot);
    EXPECT_TRUE(pKept->GetParent()->GetAttr()->GetRecordState() & KIV_REC_RECONSTRUCTED);
    // Emptied containers are tidied away.
    IKivFileNode* pLost = Child(b.pRoot, KIV_NAME_LOST_DIR);
    EXPECT_TRUE(!pLost || pLost->GetFirstChild());
    EXPECT_TRUE(ReadNode(pKept, b.pStor.get()) == ReadFile(ImageDir() + "/src/reformat/Old/kept.bin"));
    EXPECT_TRUE(ReadNode(pDeep, b.pStor.get()) == ReadFile(ImageDir() + "/src/reformat/Old/Deep/deep file.bin"));
}

TEST(FatImage, VolumeInsideMbrPartition) {
    Built b;
    BuildImage("mbr.img", &b);
    EXPECT_EQ(b.pPart->m_nFirstSector, 2048u);
    EXPECT_EQ(b.pPart->m_nType, KIV_FS_FAT16);
    ExpectFile(b, "mbr", "Inner/inside partition.txt", false);
}

// Deleted files whose clusters a new file took would come back with that file's bytes: they are
// reported damaged with the reason, and neither the live files nor the new one are.
TEST(FatImage, DeletedFilesUnderANewFileAreReportedReused) {
    Built b;
    BuildImage("reuse32.img", &b);
    auto damage = [](IKivFileNode* p) -> std::string {
        auto* pInfo = p ? dynamic_cast<IKivAttrDataInfo*>(p->GetAttr()) : nullptr;
        const char* psz = pInfo ? pInfo->GetDataDamage() : "not there";
        return psz ? psz : "";
    };
    IKivFileNode* pTemp = Find(b.pRoot, "Temp");
    ASSERT_NE(pTemp, nullptr) << Dump(b.pRoot);
    size_t nReused = 0;
    for (IKivFileNode* c = pTemp->GetFirstChild(); c; c = c->GetNextSibling()) {
        std::string name = c->GetAttr()->GetName();
        SCOPED_TRACE(name);
        bool bDeleted = c->GetAttr()->GetRecordState() & KIV_REC_DELETED;
        EXPECT_EQ(damage(c), bDeleted ? kKivReusedDamage : "");
        nReused += bDeleted;
    }
    EXPECT_EQ(nReused, 3u) << Dump(b.pRoot);
    ExpectFile(b, "reuse32", "Temp/_tmp0001.tmp", false);
    ExpectFile(b, "reuse32", "new live.bin", false);
    EXPECT_EQ(damage(Find(b.pRoot, "new live.bin")), "");
}

// The same through undelia-cli: each of them has its "damaged:" line and is flagged damaged in the
// report with the reason; the run ends with the exit code of damaged files.
TEST(FatImage, CliReportsTheReusedFilesDamaged) {
    ASSERT_FALSE(ImageDir().empty());
    fs::path to = fs::temp_directory_path() / ("undelia-fat-reuse-" + std::to_string(::getpid()));
    std::string report = to.string() + ".json";
    int status = -1;
    std::string rec = RunCommand("'" KIV_BIN_DIR "/undelia-cli' -q recover '" + ImageDir() + "/reuse32.img' --to '" +
                                     to.string() + "' --report '" + report + "' 2>&1",
                                 &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << rec;
    std::ifstream in(report);
    nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(j.is_object()) << rec;
    size_t nDamaged = 0, nFine = 0;
    for (const auto& f : j["files"]) {
        std::string path = f["original_path"];
        SCOPED_TRACE(path);
        if (f["state"] == "deleted" && path.find("Temp/") != std::string::npos) {
            EXPECT_TRUE(f["damaged"].get<bool>());
            EXPECT_EQ(f["reason"], kKivReusedDamage);
            EXPECT_NE(rec.find("damaged: " + f["output"].get<std::string>() + ": " + kKivReusedDamage), std::string::npos)
                << rec;
            ++nDamaged;
        } else if (f["state"] == "live") {
            EXPECT_FALSE(f["damaged"].get<bool>());
            ++nFine;
        }
    }
    EXPECT_EQ(nDamaged, 3u) << rec;
    EXPECT_EQ(nFine, 3u) << rec;
    fs::remove_all(to);
    fs::remove(report);
}

// Deleted files written into two holes come back whole: the content check finds where the first
// piece ends and the rest is found after the other deleted file between (one cluster or 80; a JPEG
// cut at a restart marker and inside an interval, a PNG inside a chunk, a ZIP between members).
// The one whose rest was written over is damaged with the reason, never joined to other data.
TEST(FatImage, SplitDeletedFilesAreJoinedByTheirContent) {
    Built b;
    BuildImage("split32.img", &b);
    auto damage = [](IKivFileNode* p) -> std::string {
        const char* psz = dynamic_cast<IKivAttrDataInfo*>(p->GetAttr())->GetDataDamage();
        return psz ? psz : "";
    };
    for (const char* name : {"split at marker.jpg", "split in interval.jpg", "split chunk.png", "split between members.zip"}) {
        SCOPED_TRACE(name);
        ExpectFile(b, "split32", name, true);
        IKivFileNode* p = Find(b.pRoot, name);
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->GetAttr()->GetRecordState() & KIV_REC_JOINED);
        EXPECT_EQ(damage(p), "");
        std::unique_ptr<IDataRunList> runs(p->GetAttr()->GetDataRunList());
        EXPECT_EQ(runs->GetRunCount(), 2u);
    }
    for (const char* name : {"whole photo.jpg", "gap one.bin", "gap many.bin", "gap png.bin", "gap zip.bin"}) {
        SCOPED_TRACE(name);
        ExpectFile(b, "split32", name, true);
        EXPECT_FALSE(Find(b.pRoot, name)->GetAttr()->GetRecordState() & KIV_REC_JOINED);
        EXPECT_EQ(damage(Find(b.pRoot, name)), "");
    }
    IKivFileNode* pGone = Find(b.pRoot, "overwritten.jpg");
    ASSERT_NE(pGone, nullptr);
    EXPECT_FALSE(pGone->GetAttr()->GetRecordState() & KIV_REC_JOINED);
    EXPECT_EQ(damage(pGone).rfind("content breaks at byte ", 0), 0u) << damage(pGone);
}

// What the CLI says of them: ls marks the joined files and gives their pieces; the recovery report
// says the same, and names the broken one damaged with the reason.
TEST(FatImage, CliListsAndReportsTheJoinedFiles) {
    ASSERT_FALSE(ImageDir().empty());
    std::string img = ImageDir() + "/split32.img";
    int status = -1;
    std::string ls = RunCommand("'" KIV_BIN_DIR "/undelia-cli' -q ls --json '" + img + "' 2>/dev/null", &status);
    nlohmann::json j = nlohmann::json::parse(ls, nullptr, false);
    ASSERT_TRUE(j.is_object()) << ls;
    size_t nJoined = 0;
    for (const auto& e : j["entries"])
        if (e.value("joined", false)) {
            ++nJoined;
            EXPECT_EQ(e["pieces"].size(), 2u) << e.dump();
        }
    EXPECT_EQ(nJoined, 4u);
    fs::path to = fs::temp_directory_path() / ("undelia-fat-split-" + std::to_string(::getpid()));
    std::string report = to.string() + ".json";
    std::string rec = RunCommand("'" KIV_BIN_DIR "/undelia-cli' -q recover '" + img + "' --to '" + to.string() +
                                     "' --report '" + report + "' 2>&1",
                                 &status);
    std::ifstream in(report);
    nlohmann::json r = nlohmann::json::parse(in, nullptr, false);
    ASSERT_TRUE(r.is_object()) << rec;
    for (const auto& f : r["files"]) {
        std::string path = f["original_path"];
        SCOPED_TRACE(path);
        bool bSplit = path.find("split ") != std::string::npos;
        EXPECT_EQ(f["joined"].get<bool>(), bSplit);
        if (bSplit) {
            EXPECT_EQ(f["pieces"].size(), 2u);
        }
        EXPECT_EQ(f["damaged"].get<bool>(), path.find("overwritten") != std::string::npos) << f["reason"];
    }
    fs::remove_all(to);
    fs::remove(report);
}
