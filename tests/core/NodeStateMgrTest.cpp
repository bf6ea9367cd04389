// Ticks going down to every descendant and up as three states, and the totals that follow them.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "CKivNodeStateMgr.h"
#include "CKivUiNode.h"
#include "KivFakeResultTree.h"

namespace {

// root / folder / { f1 (10 B), f2 (20 B), sub / { f3 (40 B) } }, and root / other (80 B).
struct Tree {
    std::vector<KivFakeNode*> engine;
    CKivUiNode* root = CKivUiNode::NewFolder(CKivUiNode::KIND_ROOT, "");
    CKivUiNode *folder, *f1, *f2, *sub, *f3, *other;
    CKivNodeStateMgr mgr;

    Tree() {
        folder = Dir(root, "folder");
        f1 = File(folder, 10);
        f2 = File(folder, 20);
        sub = Dir(folder, "sub");
        f3 = File(sub, 40);
        other = File(root, 80);
    }
    ~Tree() {
        root->Release();
        for (auto* p : engine) p->Release();
    }
    CKivUiNode* Dir(CKivUiNode* parent, const char* name) {
        CKivUiNode* p = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, name);
        parent->AppendChild(p);
        return p;
    }
    CKivUiNode* File(CKivUiNode* parent, uint64_t size) {
        KivFakeNode* e = KivFakeNode::File("f", size);
        engine.push_back(e);
        CKivUiNode* p = CKivUiNode::NewEngineNode(CKivUiNode::KIND_FILE, e);
        parent->AppendChild(p);
        return p;
    }
    std::pair<int64_t, uint64_t> Totals() const {
        int64_t n = 0;
        uint64_t b = 0;
        mgr.GetTotals(&n, &b);
        return {n, b};
    }
};

using Totals = std::pair<int64_t, uint64_t>;

}  // namespace

TEST(NodeStateMgrTest, TickingTwiceOrUntickingTheUntickedChangesNothing) {
    Tree t;
    EXPECT_EQ(t.mgr.SetSelectState(t.f1, 0), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(0, 0));
    EXPECT_EQ(t.mgr.SetSelectState(t.f1, 1), KIV_OK);
    EXPECT_EQ(t.mgr.SetSelectState(t.f1, 1), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(1, 10));
    EXPECT_EQ(KivErrNo(t.mgr.SetSelectState(nullptr, 1)), 0x002u);
    EXPECT_EQ(KivErrNo(t.mgr.SetSelectState(t.f1, 2)), 0x002u);  // only the tree may be partly ticked
}

TEST(NodeStateMgrTest, OneFileOfAFolderMakesItAndItsAncestorsPartlyTicked) {
    Tree t;
    ASSERT_EQ(t.mgr.SetSelectState(t.f1, 1), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(1, 10));
    EXPECT_EQ(t.folder->GetState(), CKivUiNode::STATE_PART);
    EXPECT_EQ(t.root->GetState(), CKivUiNode::STATE_PART);
    EXPECT_EQ(t.sub->GetState(), CKivUiNode::STATE_NONE);
}

TEST(NodeStateMgrTest, TheLastFileTicksTheFolderAndClimbsOnlyAsFarAsStatesChange) {
    Tree t;
    ASSERT_EQ(t.mgr.SetSelectState(t.f1, 1), KIV_OK);
    ASSERT_EQ(t.mgr.SetSelectState(t.f2, 1), KIV_OK);
    EXPECT_EQ(t.folder->GetState(), CKivUiNode::STATE_PART);  // sub is still unticked
    ASSERT_EQ(t.mgr.SetSelectState(t.f3, 1), KIV_OK);
    EXPECT_EQ(t.sub->GetState(), CKivUiNode::STATE_TICKED);
    EXPECT_EQ(t.folder->GetState(), CKivUiNode::STATE_TICKED);
    EXPECT_EQ(t.root->GetState(), CKivUiNode::STATE_PART);  // "other" is unticked
    EXPECT_EQ(t.Totals(), Totals(3, 70));
    ASSERT_EQ(t.mgr.SetSelectState(t.other, 1), KIV_OK);
    EXPECT_EQ(t.root->GetState(), CKivUiNode::STATE_TICKED);
    // Unticking one file again makes every ancestor partly ticked.
    ASSERT_EQ(t.mgr.SetSelectState(t.f3, 0), KIV_OK);
    EXPECT_EQ(t.sub->GetState(), CKivUiNode::STATE_NONE);
    EXPECT_EQ(t.folder->GetState(), CKivUiNode::STATE_PART);
    EXPECT_EQ(t.root->GetState(), CKivUiNode::STATE_PART);
    EXPECT_EQ(t.Totals(), Totals(3, 110));
}

TEST(NodeStateMgrTest, FoldersTickAndUntickTheirWholeSubtree) {
    Tree t;
    ASSERT_EQ(t.mgr.SetSelectState(t.f2, 1), KIV_OK);
    // Ticking a partly ticked folder adds only what was not ticked yet.
    ASSERT_EQ(t.mgr.SetSelectState(t.folder, 1), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(3, 70));
    for (CKivUiNode* p : {t.f1, t.f2, t.sub, t.f3}) EXPECT_EQ(p->GetState(), CKivUiNode::STATE_TICKED);
    ASSERT_EQ(t.mgr.SetSelectState(t.f1, 0), KIV_OK);
    // Unticking a partly ticked folder takes away only what was ticked.
    ASSERT_EQ(t.mgr.SetSelectState(t.folder, 0), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(0, 0));
    EXPECT_EQ(t.root->GetState(), CKivUiNode::STATE_NONE);
    // The root ticks everything.
    ASSERT_EQ(t.mgr.SetSelectState(t.root, 1), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(4, 150));
    ASSERT_EQ(t.mgr.SetSelectState(t.root, 0), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(0, 0));
    t.mgr.Reset();
    EXPECT_EQ(t.Totals(), Totals(0, 0));
}

TEST(NodeStateMgrTest, APartlyTickedFolderCountsItsFilesAfresh) {
    Tree t;
    ASSERT_EQ(t.mgr.SetSelectState(t.f1, 1), KIV_OK);
    // A folder marked partly ticked with nothing ticked below: ticking adds all its files,
    // unticking takes nothing away.
    t.sub->SetState(CKivUiNode::STATE_PART);
    ASSERT_EQ(t.mgr.SetSelectState(t.sub, 1), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(2, 50));
    CKivUiNode* empty = t.Dir(t.folder, "empty");
    empty->SetState(CKivUiNode::STATE_PART);
    EXPECT_EQ(t.mgr.SetSelectState(empty, 0), KIV_OK);
    EXPECT_EQ(t.Totals(), Totals(2, 50));
}
