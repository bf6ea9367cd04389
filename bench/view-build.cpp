// The display views over a synthetic result tree: 1,000,000 files in 10,000 folders of one
// partition. Prints the seconds of each view and of ticking and unticking the root, and the
// memory: the synthetic tree, the views on top of it, and the process's peak.
//
//   view-build [--files N] [--folders N]
#include <sys/resource.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CKivFileNodeMgr.h"
#include "CKivNodeStateMgr.h"
#include "CKivResultFilter.h"
#include "CKivUiNode.h"
#include "KivScanResult.h"

namespace {

class BenchNode;
// Every node and name of the synthetic tree.
BenchNode* g_pNodes = nullptr;
const char* g_pNames = nullptr;

// One node of the synthetic tree is node and attribute in one, linked by indices into one array,
// with its name in a shared arena: the engine's own tree costs several times this, which is not
// what is measured.
class BenchNode final : public IKivFsNode, public IKivFileAttr {
public:
    static constexpr uint32_t kNone = ~0u;
    // IKivFileAttr
    uint32_t GetNameLength() override { return static_cast<uint32_t>(std::strlen(GetName())); }
    int SetName(const char*) override { return 0; }
    const char* GetName() override { return g_pNames + m_nName; }
    uint64_t GetSize() override { return m_nSize; }
    uint16_t GetAttributes() override { return m_bDir ? KIV_FA_DIRECTORY : 0; }
    const char* GetTypeText() override { return ""; }
    uint64_t GetCreationTime() override { return 0; }
    uint64_t GetModificationTime() override { return m_nSize * 1000; }
    uint64_t GetAccessTime() override { return 0; }
    uint8_t GetRecordState() override { return m_nRecord; }
    uint8_t GetCheckState() override { return m_nCheck; }
    void SetCheckState(uint8_t n) override { m_nCheck = n; }
    IDataRunList* GetDataRunList() override { return nullptr; }
    uint32_t GetValidFields() override { return 0xFF; }
    uint32_t GetUserValue() override { return 0; }
    void SetUserValue(uint32_t) override {}
    int GetAttrKind() override { return KIV_ATTR_FAT; }
    // IKivFileNode / IKivFsNode
    IKivFileAttr* GetAttr() override { return this; }
    void SetAttr(IKivFileAttr*) override {}
    uint32_t GetUserData() override { return 0; }
    void SetUserData(uint32_t) override {}
    void SetNextSibling(IKivFileNode*) override {}
    void SetParent(IKivFileNode*) override {}
    IKivFileNode* GetParent() override { return At(m_nParent); }
    IKivFileNode* GetFirstChild() override { return At(m_nFirst); }
    IKivFileNode* GetNextSibling() override { return At(m_nNext); }
    int AddChild(IKivFileNode* p) override {
        auto* c = static_cast<BenchNode*>(p);
        c->m_nParent = static_cast<uint32_t>(this - g_pNodes);
        c->m_nNext = m_nFirst;
        m_nFirst = static_cast<uint32_t>(c - g_pNodes);
        return 1;
    }
    int RemoveChild(IKivFileNode*) override { return 0; }
    int IsFsNode() override { return m_bFs; }
    int GetPartInfo(uint64_t*, uint32_t*) override { return 0; }
    int32_t GetFsType() override { return KIV_FS_FAT32; }
    int Save(IKivStream*) override { return 0; }
    int Load(IKivStream*) override { return 0; }
    void SetPartInfo(uint64_t, uint32_t) override {}
    void SetFsType(int32_t) override {}
    void GetPartDesc(uint8_t*) override {}
    void SetPartDesc(const uint8_t*) override {}
    void ToggleCheck(int) override {}
    void SetNodeUserValue(IKivFileNode*, uint32_t) override {}
    void GetStats(KivFsStats*) override {}
    void RecountStats() override {}
    void RefreshChecks() override {}
    void PropagateChecks(IKivFileNode*) override {}
    void SetLabel(const char*) override {}
    const char* GetLabel() override { return ""; }
    // The array owns the nodes: a release frees nothing.
    int32_t Release() override { return 1; }

    static BenchNode* At(uint32_t n) { return n == kNone ? nullptr : g_pNodes + n; }

    uint32_t m_nName = 0;
    uint32_t m_nSize = 0;
    uint32_t m_nParent = kNone, m_nFirst = kNone, m_nNext = kNone;
    bool m_bDir = false;
    uint8_t m_bFs = 0;
    uint8_t m_nRecord = 0, m_nCheck = 0;
};

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Processor time of the process: what the work costs when the machine is shared.
double Cpu() {
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double RssMiB() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, rss = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &rss) != 2) rss = 0;
        std::fclose(f);
    }
    return static_cast<double>(rss) * 4096.0 / 1048576.0;
}

double PeakMiB() {
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    size_t nFiles = 1000000, nFolders = 10000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--files")) nFiles = std::strtoull(argv[i + 1], nullptr, 10);
        if (!std::strcmp(argv[i], "--folders")) nFolders = std::strtoull(argv[i + 1], nullptr, 10);
    }
    if (nFolders == 0) nFolders = 1;
    double rss0 = RssMiB();

    // Root, one partition, the folders, the files; a tenth of them deleted, extensions that land
    // in several categories and in "Others".
    static const char* const kExt[] = {"jpg", "png", "doc", "pdf", "mp3", "zip", "txt", "dat", "avi", "xlsx"};
    std::vector<BenchNode> nodes(2 + nFolders + nFiles);
    g_pNodes = nodes.data();
    // Reserved once, so the names never move.
    std::vector<char> arena;
    arena.reserve((nFolders + nFiles) * 24 + 64);
    g_pNames = arena.data();
    auto addName = [&](size_t i, const char* psz) {
        nodes[i].m_nName = static_cast<uint32_t>(arena.size());
        arena.insert(arena.end(), psz, psz + std::strlen(psz) + 1);
    };
    addName(0, "Root");
    addName(1, "FAT32 1");
    char buf[32];
    for (size_t d = 0; d < nFolders; ++d) {
        std::snprintf(buf, sizeof buf, "Folder%05zu", d);
        addName(2 + d, buf);
    }
    for (size_t f = 0; f < nFiles; ++f) {
        std::snprintf(buf, sizeof buf, "IMG_%07zu.%s", (f * 7919) % nFiles, kExt[f % 10]);
        addName(2 + nFolders + f, buf);
    }
    nodes[0].m_bFs = nodes[1].m_bFs = 1;
    nodes[0].m_bDir = nodes[1].m_bDir = true;
    nodes[0].AddChild(&nodes[1]);
    for (size_t d = 0; d < nFolders; ++d) {
        nodes[2 + d].m_bDir = true;
        nodes[1].AddChild(&nodes[2 + d]);
    }
    for (size_t f = 0; f < nFiles; ++f) {
        BenchNode& n = nodes[2 + nFolders + f];
        n.m_nSize = static_cast<uint32_t>(1000 + f % 5000);
        n.m_nRecord = f % 10 == 0 ? KIV_REC_DELETED : 0;
        nodes[2 + f % nFolders].AddChild(&n);
    }
    double rssTree = RssMiB();

    CKivFileNodeMgr mgr;
    mgr.Init(&nodes[0]);
    double c0 = Cpu(), t0 = Now();
    KivResult rc = mgr.MakeUiNode(nullptr);
    double t1 = Now();
    CKivResultFilter all;  // every file passes: the largest filter view
    CKivUiNode* pFilter = nullptr;
    KivResult rcFilter = mgr.GetUiRootFilter(all, &pFilter);
    double t2 = Now(), c2 = Cpu();
    double rssViews = RssMiB();

    CKivUiNode *pDir = nullptr, *pType = nullptr;
    mgr.GetUiRootDir(&pDir);
    mgr.GetUiRootType(&pType);
    CKivNodeStateMgr states;
    double t3 = Now(), c3 = Cpu();
    KivResult rcTick = states.SetSelectState(pDir, 1);
    int64_t nTicked = 0;
    states.GetTotals(&nTicked, nullptr);
    KivResult rcUntick = states.SetSelectState(pDir, 0);
    double t4 = Now(), c4 = Cpu();
    KivResult rcMarks = mgr.MakeSelectedFileNodeRoot(pType);
    double t5 = Now();

    std::printf("view-build: %zu files in %zu folders, display node %zu bytes, synthetic node %zu bytes\n", nFiles,
                nFolders, sizeof(CKivUiNode), sizeof(BenchNode));
    std::printf("  directory + type views  %.3f s  (code 0x%X)\n", t1 - t0, rc);
    std::printf("  filter view (all files) %.3f s  (code 0x%X)\n", t2 - t1, rcFilter);
    std::printf("  three views             %.3f s, %.3f s processor time  (target < 2 s)\n", t2 - t0, c2 - c0);
    std::printf("  tick + untick the root  %.3f s, %.3f s processor time  (%lld files ticked; codes 0x%X 0x%X; target < 0.5 s)\n",
                t4 - t3, c4 - c3, static_cast<long long>(nTicked), rcTick, rcUntick);
    std::printf("  ticks to engine marks   %.3f s  (code 0x%X)\n", t5 - t4, rcMarks);
    std::printf("  memory: synthetic tree %.0f MiB, views %.0f MiB, peak RSS %.0f MiB (target < 300 MiB)\n",
                rssTree - rss0, rssViews - rssTree, PeakMiB());
    return KivSucceeded(rc) && KivSucceeded(rcFilter) && KivSucceeded(rcTick) && KivSucceeded(rcUntick) ? 0 : 1;
}
