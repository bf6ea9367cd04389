// Result-tree nodes: linking, partition lookup, ticks and statistics, storage, deep trees.
#include <gtest/gtest.h>

#include <string>

#include "Model/CKivFileAttrFAT.h"
#include "Model/CKivFsNode.h"
#include "Model/CKivMemStream.h"
#include "Model/KivNodeFactory.h"

namespace {

IKivFileNode* File(const char* pszName, uint64_t nSize, uint16_t nAttrs = KIV_FA_ARCHIVE) {
    auto* a = new CKivFileAttrFAT();
    a->SetName(pszName);
    a->SetSize(nSize);
    a->SetAttributes(nAttrs);
    return KivNewFileNode(a);
}

IKivFileNode* Dir(const char* pszName) { return KivNewDirNode(KIV_ATTR_FAT, pszName); }

uint8_t Check(IKivFileNode* p) { return p->GetAttr()->GetCheckState(); }

KivFsStats Stats(IKivFsNode* p) {
    KivFsStats s{};
    p->GetStats(&s);
    return s;
}

// Root / Part(FAT32, base 2048, 8 spc) / {a.txt 100, big.bin 1000 compressed, Sub / {c.doc 10 encrypted}}
struct Tree {
    IKivFsNode* root = KivNewFsRoot();
    IKivFsNode* part = KivNewFsNode(KivNewAttr(KIV_ATTR_FAT));
    IKivFileNode* a = File("a.txt", 100);
    IKivFileNode* big = File("big.bin", 1000, KIV_FA_COMPRESSED);
    IKivFileNode* sub = Dir("Sub");
    IKivFileNode* c = File("c.doc", 10, KIV_FA_ENCRYPTED);
    Tree() {
        static_cast<CKivFileAttrBase*>(part->GetAttr())->SetAttributes(KIV_FA_DIRECTORY);
        part->SetPartInfo(2048, 8);
        part->SetFsType(KIV_FS_FAT32);
        root->AddChild(part);
        part->AddChild(a);
        part->AddChild(big);
        part->AddChild(sub);
        sub->AddChild(c);
        root->RecountStats();
        part->RecountStats();
    }
    ~Tree() { root->Release(); }
};

}  // namespace

TEST(Nodes, AddChildPutsTheNewestFirstAndRemoveChildUnlinks) {
    IKivFileNode* d = Dir("d");
    IKivFileNode* a = File("A", 1);
    IKivFileNode* b = File("B", 1);
    IKivFileNode* c = File("C", 1);
    ASSERT_TRUE(d->AddChild(a));
    ASSERT_TRUE(d->AddChild(b));
    ASSERT_TRUE(d->AddChild(c));
    EXPECT_EQ(d->GetFirstChild(), c);
    EXPECT_EQ(c->GetNextSibling(), b);
    EXPECT_EQ(b->GetNextSibling(), a);
    EXPECT_EQ(a->GetParent(), d);
    EXPECT_EQ(d->AddChild(a), 0);  // already has a parent
    EXPECT_EQ(d->AddChild(d), 0);
    EXPECT_EQ(d->AddChild(nullptr), 0);

    ASSERT_TRUE(d->RemoveChild(b));  // from the middle
    EXPECT_EQ(c->GetNextSibling(), a);
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(b->GetNextSibling(), nullptr);
    EXPECT_EQ(d->RemoveChild(b), 0);
    ASSERT_TRUE(d->RemoveChild(c));  // the first one
    EXPECT_EQ(d->GetFirstChild(), a);
    c->Release();  // the references came back to us
    b->Release();
    d->Release();
}

TEST(Nodes, AddChildRefusesToCloseALoop) {
    IKivFileNode* top = Dir("top");
    IKivFileNode* mid = Dir("mid");
    IKivFileNode* low = Dir("low");
    top->AddChild(mid);
    mid->AddChild(low);
    EXPECT_EQ(low->AddChild(top), 0);
    EXPECT_EQ(top->GetParent(), nullptr);
    top->Release();
}

TEST(Nodes, PartitionLookupWalksUp) {
    IKivFileNode* lone = File("x", 1);
    EXPECT_EQ(lone->GetFsType(), KIV_FS_NONE);
    uint64_t nBase = 99;
    uint32_t nSpc = 99;
    EXPECT_EQ(lone->GetPartInfo(&nBase, &nSpc), 0);
    EXPECT_EQ(nBase, 0u);
    EXPECT_EQ(nSpc, 0u);
    lone->Release();

    Tree t;
    EXPECT_EQ(t.c->GetFsType(), KIV_FS_FAT32);
    ASSERT_EQ(t.c->GetPartInfo(&nBase, &nSpc), 1);
    EXPECT_EQ(nBase, 2048u);
    EXPECT_EQ(nSpc, 8u);
    EXPECT_EQ(t.part->IsFsNode(), 1);
    EXPECT_EQ(t.c->IsFsNode(), 0);
    EXPECT_EQ(t.root->GetFsType(), KIV_FS_NONE);
    EXPECT_EQ(t.part->GetParent(), t.root);

    // A carved file in the partition's free space counts device sectors, not the partition's
    // clusters.
    IKivFileNode* carvedDir = KivNewDirNode(KIV_ATTR_RAW, "PNG");
    IKivFileNode* carved = KivNewFileNode(KivNewAttr(KIV_ATTR_RAW));
    carvedDir->AddChild(carved);
    t.sub->AddChild(carvedDir);
    ASSERT_EQ(carved->GetPartInfo(&nBase, &nSpc), 1);
    EXPECT_EQ(nBase, 0u);
    EXPECT_EQ(nSpc, 1u);
    EXPECT_EQ(carved->GetFsType(), KIV_FS_FAT32);
}

TEST(Nodes, PropagateChecksDerivesNoneSomeAll) {
    IKivFsNode* root = KivNewFsRoot();
    IKivFileNode* d = Dir("d");
    IKivFileNode* f[3] = {File("1", 1), File("2", 2), Dir("3")};
    root->AddChild(d);
    for (IKivFileNode* p : f) d->AddChild(p);
    root->PropagateChecks(d);
    EXPECT_EQ(Check(d), KIV_CHECK_NONE);
    f[0]->GetAttr()->SetCheckState(KIV_CHECK_FULL);
    f[2]->AddChild(File("inner", 1));
    f[2]->GetFirstChild()->GetAttr()->SetCheckState(KIV_CHECK_FULL);
    f[2]->AddChild(File("inner2", 1));  // makes the subfolder partial
    root->PropagateChecks(d);
    EXPECT_EQ(Check(f[2]), KIV_CHECK_PART);
    EXPECT_EQ(Check(d), KIV_CHECK_PART);
    for (IKivFileNode* p = f[2]->GetFirstChild(); p; p = p->GetNextSibling()) p->GetAttr()->SetCheckState(KIV_CHECK_FULL);
    f[1]->GetAttr()->SetCheckState(KIV_CHECK_FULL);
    root->RefreshChecks();
    EXPECT_EQ(Check(f[2]), KIV_CHECK_FULL);
    EXPECT_EQ(Check(d), KIV_CHECK_FULL);
    EXPECT_EQ(Check(root), KIV_CHECK_FULL);
    EXPECT_EQ(Stats(root).nSelFiles, 4u);
    f[1]->GetAttr()->SetCheckState(KIV_CHECK_NONE);
    root->PropagateChecks(f[1]);  // not a directory: left alone
    EXPECT_EQ(Check(d), KIV_CHECK_FULL);
    root->Release();
}

TEST(Nodes, ToggleCheckAndRecountStatsAgree) {
    Tree t;
    KivFsStats s = Stats(t.part);
    EXPECT_EQ(s.nFiles, 3u);
    EXPECT_EQ(s.nSize, 1110u);
    EXPECT_EQ(s.nCompressed, 1u);
    EXPECT_EQ(s.nEncrypted, 1u);
    EXPECT_EQ(s.nSelFiles, 0u);

    t.part->ToggleCheck(0);  // everything below gets selected
    s = Stats(t.part);
    EXPECT_EQ(Check(t.c), KIV_CHECK_FULL);
    EXPECT_EQ(Check(t.sub), KIV_CHECK_FULL);
    EXPECT_EQ(s.nSelFiles, 3u);
    EXPECT_EQ(s.nSelSize, 1110u);
    EXPECT_EQ(s.nSelCompressed, 1u);
    EXPECT_EQ(s.nSelEncrypted, 1u);
    EXPECT_EQ(Check(t.root), KIV_CHECK_FULL);  // its only child is full
    EXPECT_EQ(Stats(t.root).nSelSize, 1110u);  // the ancestor got the same difference

    // Untick one file by hand and refresh: partial up the chain, counters from scratch.
    t.c->GetAttr()->SetCheckState(KIV_CHECK_NONE);
    t.root->RefreshChecks();
    t.part->RecountStats();
    EXPECT_EQ(Check(t.sub), KIV_CHECK_NONE);
    EXPECT_EQ(Check(t.part), KIV_CHECK_PART);
    EXPECT_EQ(Stats(t.part).nSelFiles, 2u);
    EXPECT_EQ(Stats(t.root).nSelEncrypted, 0u);

    // A partly selected node toggles to fully selected; the counters move by the difference only.
    t.part->ToggleCheck(0);
    EXPECT_EQ(Stats(t.part).nSelFiles, 3u);
    EXPECT_EQ(Stats(t.root).nSelFiles, 3u);
    t.part->ToggleCheck(0);
    KivFsStats off = Stats(t.root);
    EXPECT_EQ(off.nSelFiles, 0u);
    EXPECT_EQ(off.nSelSize, 0u);
    EXPECT_EQ(Check(t.root), KIV_CHECK_NONE);

    t.part->ToggleCheck(1);  // only the node itself
    EXPECT_EQ(Check(t.part), KIV_CHECK_FULL);
    EXPECT_EQ(Check(t.a), KIV_CHECK_NONE);
    EXPECT_EQ(Stats(t.part).nSelFiles, 0u);

    t.root->SetNodeUserValue(t.c, 42);
    EXPECT_EQ(t.c->GetAttr()->GetUserValue(), 42u);
}

TEST(Nodes, FsNodeSaveLoadAndLabel) {
    Tree t;
    t.part->ToggleCheck(0);
    t.part->SetLabel("A label much longer than forty characters, truly");
    EXPECT_EQ(std::string(t.part->GetLabel()).size(), 40u);
    CKivMemStream s;
    ASSERT_TRUE(t.part->Save(&s));
    EXPECT_EQ(s.Size(), 40u + 8 + 4 + 4 + 4 + 40);
    IKivFsNode* copy = KivNewFsNode(nullptr);
    ASSERT_TRUE(copy->Load(&s));
    KivFsStats st = Stats(copy);
    EXPECT_EQ(st.nFiles, 3u);
    EXPECT_EQ(st.nSize, 1110u);
    EXPECT_EQ(st.nSelFiles, 0u);  // selections are not stored
    EXPECT_EQ(st.nSelSize, 0u);
    EXPECT_EQ(copy->GetFsType(), KIV_FS_FAT32);
    uint64_t nBase = 0;
    uint32_t nSpc = 0;
    copy->GetPartInfo(&nBase, &nSpc);
    EXPECT_EQ(nBase, 2048u);
    EXPECT_STREQ(copy->GetLabel(), t.part->GetLabel());

    copy->SetLabel("ÄÖÜäöüßÄÖÜäöüßÄÖÜäöüßÄÖÜäöüßÄÖÜäöüßÄÖÜäöüß");  // 42 two-byte characters
    EXPECT_EQ(std::string(copy->GetLabel()).size(), 80u);
    copy->Release();

    CKivMemStream bad;  // a stored label length far beyond 40 characters
    for (int i = 0; i < 14; ++i) bad.Write("\0\0\0\0", 4);
    uint8_t len[4] = {0xFF, 0xFF, 0, 0};
    bad.Write(len, 4);
    IKivFsNode* other = KivNewFsNode(nullptr);
    EXPECT_FALSE(other->Load(&bad));
    other->Release();

    uint8_t desc[KIV_PARTDESC_SIZE];
    for (size_t i = 0; i < sizeof(desc); ++i) desc[i] = static_cast<uint8_t>(i);
    t.part->SetPartDesc(desc);
    uint8_t back[KIV_PARTDESC_SIZE] = {};
    t.part->GetPartDesc(back);
    EXPECT_EQ(0, memcmp(desc, back, sizeof(desc)));
}

TEST(Nodes, FactoriesAndReservedNames) {
    IKivFsNode* root = KivNewFsRoot();
    EXPECT_STREQ(root->GetAttr()->GetName(), "Root");
    EXPECT_EQ(root->GetAttr()->GetAttributes(), KIV_FA_DIRECTORY);
    EXPECT_EQ(root->GetAttr()->GetAttrKind(), KIV_ATTR_ROOT);
    EXPECT_EQ(root->GetFsType(), KIV_FS_NONE);
    root->Release();

    IKivFileNode* lost = KivNewLostDir(KIV_ATTR_FAT);
    EXPECT_STREQ(lost->GetAttr()->GetName(), KIV_NAME_LOST_DIR);
    EXPECT_EQ(lost->GetAttr()->GetRecordState(), 9);
    lost->Release();
    IKivFileNode* lost2 = KivNewLostDir(KIV_ATTR_NTFS, KIV_REC_RECONSTRUCTED, 1);
    EXPECT_EQ(std::string(lost2->GetAttr()->GetName()), std::string(KIV_NAME_LOST_DIR) + "1");
    EXPECT_EQ(lost2->GetAttr()->GetAttrKind(), KIV_ATTR_NTFS);
    lost2->Release();
    EXPECT_EQ(KivNewDirNode(99, "x"), nullptr);

    std::string d1 = KivNextReconstructedDirName();
    std::string d2 = KivNextReconstructedDirName();
    EXPECT_EQ(d1.rfind("Dir", 0), 0u);
    EXPECT_EQ(std::stoi(d2.substr(3)), std::stoi(d1.substr(3)) + 1);
}

TEST(Nodes, DeepTreesAreReleasedWithoutRecursion) {
    // Far deeper than any stack would allow for a recursive release.
    IKivFileNode* top = Dir("top");
    IKivFileNode* p = top;
    for (int i = 0; i < 300000; ++i) {
        IKivFileNode* d = Dir("d");
        p->AddChild(d);
        p->AddChild(File("f", 1));
        p = d;
    }
    p->AddRef();  // a node still held elsewhere survives its parents
    top->Release();
    EXPECT_EQ(p->GetParent(), nullptr);
    EXPECT_STREQ(p->GetAttr()->GetName(), "d");
    p->Release();
}

TEST(Nodes, StatsWalkIsIterativeToo) {
    IKivFsNode* root = KivNewFsRoot();
    IKivFileNode* p = root;
    for (int i = 0; i < 200000; ++i) {
        IKivFileNode* d = Dir("d");
        p->AddChild(d);
        p = d;
    }
    p->AddChild(File("leaf", 5));
    root->ToggleCheck(0);
    EXPECT_EQ(Stats(root).nSelFiles, 1u);
    root->RefreshChecks();
    EXPECT_EQ(Stats(root).nFiles, 1u);
    EXPECT_EQ(Check(root), KIV_CHECK_FULL);
    root->Release();
}
