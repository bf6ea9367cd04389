// The display views built from a result tree: placeholder folders, marks, the type view with its
// catalogue, large folders split into groups, the filter view and the ticks handed to the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CKivFileNodeMgr.h"
#include "CKivNodeStateMgr.h"
#include "CKivResultFilter.h"
#include "CKivUiNode.h"
#include "KivFakeResultTree.h"

namespace fs = std::filesystem;

namespace {

#define LOST KIV_NAME_LOST_DIR
#define CARVED KIV_NAME_RAW_ROOT

std::vector<std::string> Names(const CKivUiNode* p) {
    std::vector<std::string> out;
    for (const CKivUiNode* c : p->GetChildren()) out.push_back(c->GetName());
    return out;
}

const CKivUiNode* Child(const CKivUiNode* p, const std::string& name) {
    for (const CKivUiNode* c : p->GetChildren())
        if (name == c->GetName()) return c;
    return nullptr;
}

// The node at a "/" path below a view's root.
const CKivUiNode* At(const CKivUiNode* root, const std::string& path) {
    const CKivUiNode* cur = root;
    size_t pos = 0;
    while (cur && pos <= path.size()) {
        size_t slash = path.find('/', pos);
        cur = Child(cur, path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos));
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return cur;
}

// A partition with a live and a deleted file, a folder, two lost folders and a carved folder.
KivFakeNode* SampleTree() {
    KivFakeNode* root = KivFakeNode::Fs("Root");
    KivFakeNode* part = root->Add(KivFakeNode::Fs("FAT32 1"));
    part->Add(KivFakeNode::File("Readme.TXT", 100));
    KivFakeNode* photos = part->Add(KivFakeNode::Dir("Photos"));
    photos->Add(KivFakeNode::File("a.jpg", 1000));
    photos->Add(KivFakeNode::File("b.JPEG", 2000, KIV_REC_DELETED));
    KivFakeNode* lost1 = part->Add(KivFakeNode::Dir(LOST));
    lost1->Add(KivFakeNode::File("orphan.doc", 300));
    KivFakeNode* lost2 = part->Add(KivFakeNode::Dir(LOST "1"));
    lost2->Add(KivFakeNode::Dir("Sub"))->Add(KivFakeNode::File("deep.", 5));
    KivFakeNode* carved = part->Add(KivFakeNode::Dir(CARVED));
    carved->Add(KivFakeNode::Dir("JPEG Graphics"))->Add(KivFakeNode::File("FILE0001.jpg", 4000));
    part->Add(KivFakeNode::File("noext", 7));
    // A second partition with nothing lost.
    root->Add(KivFakeNode::Fs("NTFS 2"))->Add(KivFakeNode::File("x.pdf", 10));
    return root;
}

struct Built {
    CKivFileNodeMgr mgr;
    CKivUiNode* dir = nullptr;
    CKivUiNode* type = nullptr;
    explicit Built(KivFakeNode* root, uint32_t nMax = 600, uint32_t nGroup = 500) {
        EXPECT_EQ(mgr.Init(root), KIV_OK);
        mgr.SetLimits(nMax, nGroup);
        EXPECT_EQ(KivErrNo(mgr.MakeUiNode(nullptr)), 0u);
        mgr.GetUiRootDir(&dir);
        mgr.GetUiRootType(&type);
    }
};

}  // namespace

TEST(NodeMgrTest, DirectoryViewGathersPlaceholdersUnderUnknownPath) {
    Built b(SampleTree());
    ASSERT_NE(b.dir, nullptr);
    EXPECT_EQ(b.dir->GetKind(), CKivUiNode::KIND_ROOT);
    EXPECT_EQ(Names(b.dir), (std::vector<std::string>{"FAT32 1", "NTFS 2"}));  // in the order found
    const CKivUiNode* part = At(b.dir, "FAT32 1");
    EXPECT_EQ(part->GetKind(), CKivUiNode::KIND_PART);
    EXPECT_EQ(Names(part), (std::vector<std::string>{"Readme.TXT", "Photos", "noext", "Unknow path"}));
    const CKivUiNode* unknown = Child(part, "Unknow path");
    EXPECT_EQ(Names(unknown), (std::vector<std::string>{"Lost Dir", "Lost Dir1", "Type Scan"}));
    EXPECT_EQ(Names(Child(unknown, "Type Scan")), (std::vector<std::string>{"JPEG Graphics"}));
    // Paths follow where the nodes ended up, with "/" between names.
    const CKivUiNode* deep = At(b.dir, "FAT32 1/Unknow path/Lost Dir1/Sub/deep.");
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(deep->GetPath(), "FAT32 1/Unknow path/Lost Dir1/Sub");
    EXPECT_EQ(deep->GetPartition(), part);
    EXPECT_EQ(At(b.dir, "NTFS 2")->GetChildren().size(), 1u);  // no "Unknow path" without placeholders
    EXPECT_EQ(b.mgr.DirList().size(), 8u);
    EXPECT_EQ(b.mgr.TypeList().size(), 8u);
}

TEST(NodeMgrTest, FoldersAboveDeletedFilesAndPlaceholdersAreMarked) {
    Built b(SampleTree());
    const CKivUiNode* part = At(b.dir, "FAT32 1");
    EXPECT_TRUE(part->IsMarkedDeleted());
    EXPECT_TRUE(Child(part, "Photos")->IsMarkedDeleted());
    EXPECT_TRUE(Child(part, "Unknow path")->IsMarkedDeleted());
    EXPECT_TRUE(At(b.dir, "FAT32 1/Unknow path/Lost Dir")->IsMarkedDeleted());
    EXPECT_FALSE(At(b.dir, "FAT32 1/Unknow path/Lost Dir1/Sub")->IsMarkedDeleted());
    EXPECT_FALSE(b.dir->IsMarkedDeleted());  // the root never is
    EXPECT_FALSE(At(b.dir, "NTFS 2")->IsMarkedDeleted());
    // Drawn as gone only for what is gone itself; its parents are "holds deleted files".
    EXPECT_EQ(part->GetLook(), CKivUiNode::LOOK_HOLDS_GONE);
    EXPECT_EQ(Child(part, "Photos")->GetLook(), CKivUiNode::LOOK_HOLDS_GONE);
    EXPECT_EQ(Child(part, "Unknow path")->GetLook(), CKivUiNode::LOOK_GONE);
    EXPECT_EQ(At(b.dir, "FAT32 1/Unknow path/Lost Dir1/Sub")->GetLook(), CKivUiNode::LOOK_GONE);
    EXPECT_EQ(At(b.dir, "NTFS 2")->GetLook(), CKivUiNode::LOOK_PLAIN);
}

TEST(NodeMgrTest, DeletedFileInsideALostFolderMarksThePartition) {
    KivFakeNode* root = KivFakeNode::Fs("Root");
    KivFakeNode* part = root->Add(KivFakeNode::Fs("P"));
    part->Add(KivFakeNode::Dir(LOST))->Add(KivFakeNode::File("gone.txt", 1, KIV_REC_DELETED));
    part->Add(KivFakeNode::File("kept.txt", 1));
    Built b(root);
    EXPECT_TRUE(At(b.dir, "P")->IsMarkedDeleted());
}

TEST(NodeMgrTest, TypeViewFollowsTheCatalogueAndDropsEmptyCategories) {
    Built b(SampleTree());
    ASSERT_NE(b.type, nullptr);
    EXPECT_STREQ(b.type->GetName(), "Root");
    // Pictures (jpg, jpeg), Documents (doc, pdf, txt), then the catch-all.
    EXPECT_EQ(Names(b.type), (std::vector<std::string>{"Pictures", "Documents", "Others"}));
    EXPECT_EQ(Names(Child(b.type, "Pictures")), (std::vector<std::string>{"jpeg", "jpg"}));
    EXPECT_EQ(Names(At(b.type, "Pictures/jpg")), (std::vector<std::string>{"a.jpg", "FILE0001.jpg"}));
    EXPECT_EQ(Names(At(b.type, "Pictures/jpeg")), (std::vector<std::string>{"b.JPEG"}));  // case folded
    EXPECT_EQ(Names(Child(b.type, "Documents")), (std::vector<std::string>{"doc", "pdf", "txt"}));
    // No dot, or a dot at the end: the catch-all.
    EXPECT_EQ(Names(Child(b.type, "Others")), (std::vector<std::string>{"deep.", "noext"}));
    // A copy keeps its own tick and tells where the file lies.
    const CKivUiNode* copy = At(b.type, "Pictures/jpg/a.jpg");
    EXPECT_EQ(copy->GetPath(), "FAT32 1/Photos");
    EXPECT_EQ(copy->GetEngineNode(), At(b.dir, "FAT32 1/Photos/a.jpg")->GetEngineNode());
}

TEST(NodeMgrTest, RebuildReplacesTheViews) {
    Built b(SampleTree());
    CKivResultFilter all;
    CKivUiNode* f = nullptr;
    ASSERT_EQ(b.mgr.GetUiRootFilter(all, &f), KIV_OK);
    ASSERT_EQ(KivErrNo(b.mgr.MakeUiNode(nullptr)), 0u);
    CKivUiNode *dir = nullptr, *type = nullptr;
    b.mgr.GetUiRootDir(&dir);
    b.mgr.GetUiRootType(&type);
    ASSERT_NE(dir, nullptr);
    EXPECT_EQ(b.mgr.DirList().size(), 8u);
    EXPECT_EQ(b.mgr.GetUiRootFilterView(), nullptr);  // the filter view was made of the old tree
    KivFakeNode* other = KivFakeNode::Fs("x");
    EXPECT_EQ(KivErrNo(b.mgr.Init(other)), 0x004u);  // a refused root stays the caller's
    other->Release();
}

TEST(NodeMgrTest, BuildRefusals) {
    CKivFileNodeMgr mgr;
    EXPECT_EQ(KivErrNo(mgr.MakeUiNode(nullptr)), 0x004u);
    EXPECT_EQ(KivErrNo(mgr.Init(nullptr)), 0x002u);
    ASSERT_EQ(mgr.Init(KivFakeNode::Dir("not a file system")), KIV_OK);
    EXPECT_EQ(KivErrNo(mgr.MakeUiNode(nullptr)), 0x003u);
}

namespace {

CKivUiNode* FolderOfFiles(size_t n, std::vector<KivFakeNode*>* pEngine) {
    CKivUiNode* folder = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, "jpg");
    for (size_t i = n; i > 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "F%05zu.jpg", i);  // added in reverse: the split sorts
        KivFakeNode* e = KivFakeNode::File(name, i);
        pEngine->push_back(e);
        folder->AppendChild(CKivUiNode::NewEngineNode(CKivUiNode::KIND_FILE, e));
    }
    return folder;
}

struct EngineNodes {
    std::vector<KivFakeNode*> v;
    ~EngineNodes() {
        for (auto* p : v) p->Release();
    }
};

}  // namespace

TEST(NodeMgrTest, LargeFoldersAreSplitIntoSortedGroups) {
    struct Case {
        size_t n;
        std::vector<std::string> groups;
    };
    for (const Case& c : {Case{600, {}}, Case{601, {"1-500", "501-601"}}, Case{1001, {"1-500", "501-1000", "1001"}},
                          Case{1250, {"1-500", "501-1000", "1001-1250"}}}) {
        EngineNodes e;
        CKivUiNode* folder = FolderOfFiles(c.n, &e.v);
        ASSERT_EQ(CKivFileNodeMgr::TidyDirIfFileTooMore(folder, 600, 500), KIV_OK) << c.n;
        if (c.groups.empty()) {
            EXPECT_EQ(folder->GetChildren().size(), c.n);
        } else {
            EXPECT_EQ(Names(folder), c.groups) << c.n;
            const CKivUiNode* first = folder->GetChildren()[0];
            EXPECT_STREQ(first->GetChildren()[0]->GetName(), "F00001.jpg");
            EXPECT_STREQ(first->GetChildren()[499]->GetName(), "F00500.jpg");
            EXPECT_EQ(first->GetChildren()[0]->GetParent(), first);
            char last[32];
            std::snprintf(last, sizeof last, "F%05zu.jpg", c.n);
            EXPECT_STREQ(folder->GetChildren().back()->GetChildren().back()->GetName(), last);
        }
        folder->Release();
    }
}

TEST(NodeMgrTest, SplitRefusesBadLimitsAndFolders) {
    EngineNodes e;
    CKivUiNode* folder = FolderOfFiles(10, &e.v);
    EXPECT_EQ(KivErrNo(CKivFileNodeMgr::TidyDirIfFileTooMore(nullptr, 600, 500)), 0x002u);
    EXPECT_EQ(KivErrNo(CKivFileNodeMgr::TidyDirIfFileTooMore(folder, 499, 500)), 0x002u);
    EXPECT_EQ(KivErrNo(CKivFileNodeMgr::TidyDirIfFileTooMore(folder, 5, 0)), 0x002u);
    folder->AppendChild(CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, "sub"));
    EXPECT_EQ(KivErrNo(CKivFileNodeMgr::TidyDirIfFileTooMore(folder, 5, 5)), 0x003u);
    EXPECT_EQ(folder->GetChildren().size(), 11u);  // left as it was
    folder->Release();
}

TEST(NodeMgrTest, TypeViewSplitsLargeExtensionFoldersAndOthers) {
    KivFakeNode* root = KivFakeNode::Fs("Root");
    KivFakeNode* part = root->Add(KivFakeNode::Fs("P"));
    for (int i = 0; i < 12; ++i) part->Add(KivFakeNode::File("p" + std::to_string(i) + ".png", 1));
    for (int i = 0; i < 3; ++i) part->Add(KivFakeNode::File("x" + std::to_string(i) + ".zzz", 1));
    for (int i = 0; i < 7; ++i) part->Add(KivFakeNode::File("y" + std::to_string(i) + ".qqq", 1));
    Built b(root, 8, 5);
    EXPECT_EQ(Names(At(b.type, "Pictures/png")), (std::vector<std::string>{"1-5", "6-10", "11-12"}));
    EXPECT_EQ(Names(Child(b.type, "Others")), (std::vector<std::string>{"1-5", "6-10"}));
}

TEST(NodeMgrTest, FilterViewCopiesThePassingFilesInDirectoryOrder) {
    Built b(SampleTree(), 2, 2);
    CKivResultFilter f;
    f.SetKey("JP");
    CKivUiNode* root = nullptr;
    ASSERT_EQ(b.mgr.GetUiRootFilter(f, &root), KIV_OK);
    EXPECT_STREQ(root->GetName(), "Root");
    ASSERT_EQ(b.mgr.FilterList().size(), 3u);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"1-2", "3"}));  // more than the limit: grouped by name
    EXPECT_EQ(Names(root->GetChildren()[0]), (std::vector<std::string>{"a.jpg", "b.JPEG"}));
    EXPECT_EQ(b.mgr.FilterList()[2]->GetPath(), "FAT32 1/Unknow path/Type Scan/JPEG Graphics");
    // A new filter replaces the view.
    f.SetKey("nothing like this");
    ASSERT_EQ(b.mgr.GetUiRootFilter(f, &root), KIV_OK);
    EXPECT_FALSE(root->HasChildren());
    EXPECT_TRUE(b.mgr.FilterList().empty());
}

TEST(NodeMgrTest, TicksOfTheShownViewBecomeTheEngineMarks) {
    KivFakeNode* tree = SampleTree();
    Built b(tree);
    CKivNodeStateMgr states;
    // Tick in the type view only: the pictures.
    ASSERT_EQ(states.SetSelectState(const_cast<CKivUiNode*>(Child(b.type, "Pictures")), 1), KIV_OK);
    // An earlier mark elsewhere is cleared first.
    auto* part = static_cast<KivFakeNode*>(tree->GetFirstChild()->GetNextSibling());  // "FAT32 1"
    ASSERT_EQ(part->attr.name, "FAT32 1");
    auto* ntfs = static_cast<KivFakeNode*>(tree->GetFirstChild());
    static_cast<KivFakeNode*>(ntfs->GetFirstChild())->attr.checkState = KIV_CHECK_FULL;
    ASSERT_EQ(b.mgr.MakeSelectedFileNodeRoot(b.type), KIV_OK);

    auto check = [&](const std::string& path) {
        return At(b.dir, path)->GetAttr()->GetCheckState();
    };
    EXPECT_EQ(check("FAT32 1/Photos/a.jpg"), KIV_CHECK_FULL);
    EXPECT_EQ(check("FAT32 1/Photos/b.JPEG"), KIV_CHECK_FULL);
    EXPECT_EQ(check("FAT32 1/Unknow path/Type Scan/JPEG Graphics/FILE0001.jpg"), KIV_CHECK_FULL);
    EXPECT_EQ(check("FAT32 1/Photos"), KIV_CHECK_PART);
    EXPECT_EQ(check("FAT32 1"), KIV_CHECK_PART);
    EXPECT_EQ(check("FAT32 1/Readme.TXT"), KIV_CHECK_NONE);
    EXPECT_EQ(check("NTFS 2/x.pdf"), KIV_CHECK_NONE);
    EXPECT_EQ(check("NTFS 2"), KIV_CHECK_NONE);
    // The directory view's own ticks (none) would clear them all.
    ASSERT_EQ(b.mgr.MakeSelectedFileNodeRoot(b.dir), KIV_OK);
    EXPECT_EQ(check("FAT32 1/Photos/a.jpg"), KIV_CHECK_NONE);
    EXPECT_EQ(check("FAT32 1"), KIV_CHECK_NONE);
    EXPECT_EQ(KivErrNo(b.mgr.MakeSelectedFileNodeRoot(nullptr)), 0x002u);
}

TEST(NodeMgrTest, DeepTreesNeedNoRecursion) {
    KivFakeNode* root = KivFakeNode::Fs("Root");
    KivFakeNode* cur = root->Add(KivFakeNode::Fs("P"));
    for (int i = 0; i < 100000; ++i) cur = cur->Add(KivFakeNode::Dir("d"));
    cur->Add(KivFakeNode::File("bottom.txt", 1));
    Built b(root);
    CKivNodeStateMgr states;
    EXPECT_EQ(states.SetSelectState(b.dir, 1), KIV_OK);
    int64_t n = 0;
    states.GetTotals(&n, nullptr);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(b.mgr.MakeSelectedFileNodeRoot(b.dir), KIV_OK);
}

namespace {

class TempDir {
public:
    TempDir() : m_path(fs::temp_directory_path() / ("kiv-core-" + std::to_string(::getpid()))) {
        fs::create_directories(m_path);
    }
    ~TempDir() { fs::remove_all(m_path); }
    std::string operator/(const std::string& s) const { return (m_path / s).string(); }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

void Touch(const std::string& path) { std::ofstream(path) << "x"; }

}  // namespace

TEST(NodeMgrTest, PlaceholdersOfARecoveryAreRenamedWithoutOverwriting) {
    TempDir t;
    std::string part = t / "FAT32 1";
    fs::create_directories(part + "/" LOST "/a");
    fs::create_directories(part + "/" LOST "1");
    fs::create_directories(part + "/{be0bb444-b3a5-4AF1-9d7b-34aa93cc2310}");  // case does not matter
    fs::create_directories(part + "/Photos");
    Touch(part + "/" LOST "/a/f.txt");
    // Something of that name is there already: it is kept, the placeholder goes beside it.
    fs::create_directories(part + "/Unknow path/Lost Dir");
    Touch(part + "/Unknow path/Lost Dir/mine.txt");

    CKivFileNodeMgr mgr;
    std::vector<std::string> moved;
    ASSERT_EQ(mgr.AdjustDirPathAfterRecover(part + "/", &moved), KIV_OK);
    EXPECT_EQ(moved.size(), 3u);
    EXPECT_TRUE(fs::exists(part + "/Unknow path/Lost Dir/mine.txt"));
    EXPECT_TRUE(fs::exists(part + "/Unknow path/Lost Dir_000/a/f.txt"));
    EXPECT_TRUE(fs::is_directory(part + "/Unknow path/Lost Dir1"));
    EXPECT_TRUE(fs::is_directory(part + "/Unknow path/Type Scan"));
    EXPECT_TRUE(fs::is_directory(part + "/Photos"));
    for (const auto& e : fs::recursive_directory_iterator(t.Path()))
        EXPECT_EQ(e.path().string().find('{'), std::string::npos) << e.path();
    EXPECT_EQ(KivErrNo(mgr.AdjustDirPathAfterRecover("")), 0x002u);
    // Nothing to rename: no "Unknow path" is made.
    fs::create_directories(t / "plain");
    EXPECT_EQ(mgr.AdjustDirPathAfterRecover(t / "plain"), KIV_OK);
    EXPECT_FALSE(fs::exists(t / "plain/Unknow path"));
}
