// Whole volumes made by mkfs.exfat and filled by the test script: scanned, proposed, built,
// recovered and compared with what the script put there.
#include "ExFat/CKivExFatTreeBuilder.h"
#include "ExFatTestSupport.h"
#include "Model/CKivFileAttrExFAT.h"

using namespace kivexfat_test;


TEST(ExFatImage, CameraCardLiveAndDeletedEntriesComeBackUnderTheirPaths) {
    Scanned s;
    ScanImage("live", &s);
    // Exactly one volume: neither boot region proposes a second one shifted by a region.
    ASSERT_EQ(s.parts.size(), 1u);
    ASSERT_NE(s.pPart, nullptr);
    uint32_t f = s.pPart->m_nEvidenceFlags;
    EXPECT_EQ(f & 0xFF, uint32_t(KIV_EXFAT_BOOT_MAIN | KIV_EXFAT_BOOT_BACKUP | KIV_EXFAT_SUM_MAIN | KIV_EXFAT_SUM_BACKUP |
                                 KIV_EXFAT_FAT1 | KIV_EXFAT_ROOT | KIV_EXFAT_UPCASE));
    EXPECT_EQ(s.pPart->m_nType, KIV_FS_EXFAT);
    EXPECT_EQ(s.pPart->m_nFirstSector, 0u);
    EXPECT_EQ(s.pPart->m_nSecPerClus, 8u);
    EXPECT_EQ(s.pPart->m_nEvidenceC, 100u);
    EXPECT_GT(s.pPart->m_nEvidenceB, 10u) << "folders land where the geometry puts them";
    ASSERT_NE(s.pRoot, nullptr);
    EXPECT_STREQ(s.pRoot->GetAttr()->GetName(), "CAMERA(exFAT 1)");
    EXPECT_STREQ(s.pRoot->GetLabel(), "CAMERA");
    EXPECT_EQ(s.pRoot->GetFsType(), KIV_FS_EXFAT);
    ExpectManifest(s, "live");

    // What the entries themselves say about their clusters.
    auto damage = [&](const char* path) {
        IKivFileNode* p = Find(s.pRoot, path);
        return p ? static_cast<CKivFileAttrExFAT*>(p->GetAttr())->GetDamage() : CKivFileAttrExFAT::kBadChain;
    };
    EXPECT_EQ(damage("overwritten.jpg"), CKivFileAttrExFAT::kReused);
    EXPECT_EQ(damage("Deleted fragmented.bin"), CKivFileAttrExFAT::kIntact) << "its chain is still in the FAT";
    EXPECT_EQ(damage("Deleted chain cleared.bin"), CKivFileAttrExFAT::kGuessed);
    IKivFileNode* pValid = Find(s.pRoot, "valid-short.bin");
    ASSERT_NE(pValid, nullptr);
    EXPECT_EQ(static_cast<CKivFileAttrExFAT*>(pValid->GetAttr())->GetValidLength(), 5000u);
    EXPECT_EQ(pValid->GetAttr()->GetSize(), 20000u);
}

TEST(ExFatImage, NameHashesAgreeWithTheVolumesUpcaseTable) {
    Scanned s;
    ScanImage("live", &s);
    ASSERT_NE(s.pPart, nullptr);
    CKivExFatTreeBuilder b(s.pPart, s.pStor.get(), &s.pScanner->Records().dirSectors, nullptr, nullptr, 0);
    IKivFsNode* pRoot = b.Build();
    ASSERT_NE(pRoot, nullptr);
    EXPECT_EQ(b.HashMismatches(), 0u) << "Unicode names hash through the volume's own table";
    pRoot->Release();
}

TEST(ExFatImage, CardPartitionAtSector8192With128KiBClusters) {
    Scanned s;
    ScanImage("card", &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.Selected(), 1u);
    EXPECT_EQ(s.pPart->m_nFirstSector, 8192u);
    EXPECT_EQ(s.pPart->m_nSecPerClus32, 256u);
    EXPECT_EQ(s.pPart->m_nSecPerClus, 0u) << "256 sectors do not fit the 8-bit field";
    uint32_t nSpc = 0;
    uint64_t nBase = 0;
    ASSERT_NE(s.pRoot, nullptr);
    s.pRoot->GetPartInfo(&nBase, &nSpc);
    EXPECT_EQ(nSpc, 256u);
    EXPECT_EQ(nBase, 8192u + 4096u);
    EXPECT_STREQ(s.pRoot->GetLabel(), "SDXC");
    ExpectManifest(s, "card");
}

TEST(ExFatImage, VolumeOf4096ByteSectors) {
    Scanned s;
    ScanImage("sector4k", &s, 4096);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.pPart->m_nSectorSize, 4096u);
    EXPECT_EQ(s.pPart->m_nEvidenceFlags & (KIV_EXFAT_SUM_MAIN | KIV_EXFAT_SUM_BACKUP),
              uint32_t(KIV_EXFAT_SUM_MAIN | KIV_EXFAT_SUM_BACKUP))
        << "the checksums of boot regions of 4096-byte sectors";
    ExpectManifest(s, "sector4k");
}

TEST(ExFatImage, VolumeOf4096ByteSectorsReadAsSectorsOf512) {
    // An image of a 4Kn disk opened with the default sector size: the volume's sectors are eight
    // of the device's.
    Scanned s;
    ScanImage("sector4k", &s, 512);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_EQ(s.pPart->m_nSecPerClus32, 16u);
    ExpectManifest(s, "sector4k");
}

TEST(ExFatImage, FoldersOfAnEarlierFormatAreLostFoldersWithTheirFiles) {
    Scanned s;
    ScanImage("reformatted", &s);
    ASSERT_NE(s.pPart, nullptr);
    EXPECT_STREQ(s.pRoot->GetLabel(), "NEWCARD");
    ExpectManifest(s, "reformatted");
    IKivFileNode* pLost = Child(s.pRoot, KIV_NAME_LOST_DIR);
    ASSERT_NE(pLost, nullptr) << Dump(s.pRoot);
    // Nothing says what the old root folder was called: its content sits in a rebuilt folder.
    Recovered out;
    RecoverAll(s, &out);
    nlohmann::json man = Manifest("reformatted");
    for (const auto& e : man["lost"]) {
        std::string path = e["path"];
        std::string inHoliday = path.substr(path.find('/') + 1);  // below the lost "Holiday"
        IKivFileNode* pFound = nullptr;
        std::string where;
        for (IKivFileNode* d = pLost->GetFirstChild(); d && !pFound; d = d->GetNextSibling())
            if ((pFound = Find(d, inHoliday))) where = std::string(KIV_NAME_LOST_DIR) + "/" + d->GetAttr()->GetName();
        ASSERT_NE(pFound, nullptr) << path << "\n" << Dump(s.pRoot);
        EXPECT_TRUE(pFound->GetAttr()->GetRecordState() & KIV_REC_DELETED);
        EXPECT_TRUE(ReadFile(out.Out(where + "/" + inHoliday)) ==
                    ReadFile(ImageDir() + "/src/reformatted/" + path))
            << path;
    }
}
