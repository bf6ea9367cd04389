// Saved scans: a scan stopped part-way and gone on with from its saved state ends with the same
// result as one uninterrupted pass; a finished scan's state gives the same partitions and trees
// without a pass; states of another device or damaged ones are refused; checkpoints come between
// blocks and at the end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "CKivScanDev.h"
#include "IKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivQuietCallbacks.h"
#include "KivSparseDevStor.h"
#include "KivTestImages.h"
#include "Model/CKivMemStream.h"
#include "KivNeedTool.h"

namespace {

class StopCallback : public IKivScanCallBack {
public:
    explicit StopCallback(uint64_t nStopAt = 0) : m_nStopAt(nStopAt) {}
    void SetPos(uint64_t n) override { m_nDone = n; }
    void SetRange(uint64_t, uint64_t hi) override { m_nBlocks = hi; }
    int IsCancelled() override { return m_nStopAt && m_nDone >= m_nStopAt; }
    void OnBlockDone(const uint64_t*) override {}
    void OnScanEnd() override {}
    uint64_t m_nStopAt;
    uint64_t m_nDone = 0, m_nBlocks = 0;
};

using QuietTree = KivQuietTree;

class Recorder : public IKivScanCheckpoint {
public:
    int WantCheckpoint(uint64_t n) override { return n == m_nWantAt; }
    void OnCheckpoint(const uint8_t* p, uint64_t n, uint64_t nDone, int bComplete) override {
        states.emplace_back(p, p + n);
        done.push_back(nDone);
        complete.push_back(bComplete);
    }
    uint64_t m_nWantAt = 0;
    std::vector<std::vector<uint8_t>> states;
    std::vector<uint64_t> done;
    std::vector<int> complete;
};

// Every partition and every entry of the trees with what recovery would read: names, sizes,
// states, attributes and data runs.
std::string Describe(IKivFileNode* pNode, const std::string& prefix) {
    std::string s;
    for (IKivFileNode* c = pNode->GetFirstChild(); c; c = c->GetNextSibling()) {
        IKivFileAttr* a = c->GetAttr();
        std::string name = prefix + (a ? a->GetName() : "?");
        s += name + " " + std::to_string(a ? a->GetSize() : 0) + " " + std::to_string(a ? a->GetAttributes() : 0) +
             " " + std::to_string(a ? a->GetRecordState() : 0);
        if (a) {
            if (IDataRunList* pRuns = a->GetDataRunList()) {
                for (const KivDataRun* r = pRuns->First(); r; r = pRuns->Next())
                    s += " " + std::to_string(r->nStart) + "+" + std::to_string(r->nLength);
                delete pRuns;
            }
        }
        s += "\n";
        s += Describe(c, name + "/");
    }
    return s;
}

struct Result {
    std::string parts;
    std::string tree;
};

Result Enumerate(IKivScanDev* pEngine) {
    Result out;
    std::vector<CKivScanResPart*> parts;
    EXPECT_EQ(KivErrNo(pEngine->EnumResParts(&parts)), 0);
    for (CKivScanResPart* p : parts)
        out.parts += std::to_string(p->m_nType) + "@" + std::to_string(p->m_nFirstSector) + "+" +
                     std::to_string(p->m_nSectorCount) + " sel " + std::to_string(p->m_nSelected) + " score " +
                     std::to_string(p->m_dScore) + "\n";
    QuietTree cb;
    IKivFsNode* pRoot = nullptr;
    if (KivSucceeded(pEngine->EnumResFiles(0, &parts, &cb, &pRoot)) && pRoot) {
        out.tree = Describe(pRoot, "");
        pRoot->Release();
    }
    for (CKivScanResPart* p : parts) delete p;
    return out;
}

// An engine over an image file.
struct Engine {
    explicit Engine(const std::string& path) : pDev(new KivFileDevStor(path)), pEngine(new CKivScanDev()) {
        EXPECT_EQ(KivErrNo(pEngine->Init(pDev)), 0);
    }
    ~Engine() {
        pEngine->Release();
        pDev->Release();
    }
    void Scan(StopCallback* pCb) {
        ASSERT_EQ(KivErrNo(pEngine->DoScan(nullptr, pCb)), 0);
        ASSERT_EQ(KivErrNo(pEngine->WaitForScanEnd(0)), 0);
    }
    CKivMemStream Saved() {
        CKivMemStream ms;
        EXPECT_EQ(KivErrNo(pEngine->SaveScanState(&ms)), 0);
        ms.Rewind();
        return ms;
    }
    KivFileDevStor* pDev;
    CKivScanDev* pEngine;
};

class ScanStateLinux : public ::testing::Test {
protected:
    static std::string Image(const std::string& name) {
        static std::string dir = KivTestImageDir("make-recovery-images", "recovery-test-images");
        return dir.empty() ? std::string() : dir + "/" + name;
    }
    // The uninterrupted result of an image, made once per image.
    static const Result& Whole(const std::string& path) {
        static std::map<std::string, Result> done;
        auto it = done.find(path);
        if (it != done.end()) return it->second;
        Engine e(path);
        StopCallback cb;
        e.Scan(&cb);
        return done[path] = Enumerate(e.pEngine);
    }
    // Scan stopped after nStop blocks, saved, taken over by a fresh engine that goes on with it.
    static Result Resumed(const std::string& path, uint64_t nStop) {
        CKivMemStream saved;
        {
            Engine first(path);
            StopCallback cb(nStop);
            first.Scan(&cb);
            EXPECT_EQ(cb.m_nDone, nStop);
            saved = first.Saved();
        }
        Engine second(path);
        EXPECT_EQ(KivErrNo(second.pEngine->LoadScanState(&saved)), 0);
        uint64_t nDone = 0, nTotal = 0;
        int bComplete = 1;
        second.pEngine->GetScanPosition(&nDone, &nTotal, &bComplete);
        EXPECT_EQ(nDone, nStop);
        EXPECT_EQ(bComplete, 0);
        StopCallback cb;
        second.Scan(&cb);
        EXPECT_EQ(cb.m_nDone, cb.m_nBlocks);
        return Enumerate(second.pEngine);
    }
};

}  // namespace

TEST_F(ScanStateLinux, StoppedScansGoOnToTheSameResult) {
    // A FAT32 volume and an NTFS one, each with pictures carved inside and outside the volume.
    for (const char* name : {"fat32-c512.img", "ntfs-c4k.img"}) {
        std::string path = Image(name);
        if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
        const Result& whole = Whole(path);
        ASSERT_FALSE(whole.tree.empty()) << name;
        ASSERT_NE(whole.tree.find(".PNG"), std::string::npos) << name << "\n" << whole.tree;
        uint64_t nBlocks = (std::filesystem::file_size(path) + KIV_SCAN_BLOCK_BYTES - 1) / KIV_SCAN_BLOCK_BYTES;
        for (uint64_t nStop : {nBlocks / 10 ? nBlocks / 10 : 1, nBlocks / 2, nBlocks * 9 / 10}) {
            Result r = Resumed(path, nStop);
            EXPECT_EQ(r.parts, whole.parts) << name << " stopped after " << nStop;
            EXPECT_EQ(r.tree, whole.tree) << name << " stopped after " << nStop;
        }
    }
}

TEST_F(ScanStateLinux, FinishedStateStandsInForTheScan) {
    std::string path = Image("fat32-c512.img");
    if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    const Result& whole = Whole(path);
    CKivMemStream saved;
    {
        Engine e(path);
        StopCallback cb;
        e.Scan(&cb);
        // Asking for the partitions leaves the state whole: it can still be saved afterwards.
        Enumerate(e.pEngine);
        saved = e.Saved();
    }
    Engine e(path);
    ASSERT_EQ(KivErrNo(e.pEngine->LoadScanState(&saved)), 0);
    // A finished scan needs no pass, and the engine refuses one.
    StopCallback cb;
    EXPECT_NE(KivErrNo(e.pEngine->DoScan(nullptr, &cb)), 0);
    Result r = Enumerate(e.pEngine);
    EXPECT_EQ(r.parts, whole.parts);
    EXPECT_EQ(r.tree, whole.tree);
    // Saving it again gives the same bytes.
    CKivMemStream again = e.Saved();
    EXPECT_EQ(again.Data(), saved.Data());
}

TEST_F(ScanStateLinux, OtherDevicesAndDamagedStatesAreRefused) {
    std::string path = Image("fat16-c512.img");
    if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    CKivMemStream saved;
    {
        Engine e(path);
        StopCallback cb;
        e.Scan(&cb);
        saved = e.Saved();
    }
    const std::vector<uint8_t>& bytes = saved.Data();
    {
        // Another geometry: a device one sector longer.
        auto* pDev = new KivMemDevStor(std::vector<uint8_t>(std::filesystem::file_size(path) + 512));
        auto* pEngine = new CKivScanDev();
        ASSERT_EQ(KivErrNo(pEngine->Init(pDev)), 0);
        CKivMemStream ms(bytes);
        EXPECT_EQ(KivErrNo(pEngine->LoadScanState(&ms)), KIV_E_STATE);
        pEngine->Release();
        pDev->Release();
    }
    // Cut short anywhere, and a count made huge: refused as damaged, never a crash.
    for (size_t nCut : {size_t(3), size_t(40), bytes.size() / 2, bytes.size() - 1}) {
        Engine e(path);
        CKivMemStream ms(std::span<const uint8_t>(bytes.data(), nCut));
        EXPECT_NE(KivErrNo(e.pEngine->LoadScanState(&ms)), 0) << nCut;
    }
    {
        std::vector<uint8_t> bad = bytes;
        bad[4] = 99;  // the state's own format version
        Engine e(path);
        CKivMemStream ms(bad);
        EXPECT_EQ(KivErrNo(e.pEngine->LoadScanState(&ms)), KIV_E_STATE);
    }
    // Taken over once, a state cannot be loaded a second time into the same engine.
    Engine e(path);
    CKivMemStream ms(bytes);
    ASSERT_EQ(KivErrNo(e.pEngine->LoadScanState(&ms)), 0);
    CKivMemStream ms2(bytes);
    EXPECT_EQ(KivErrNo(e.pEngine->LoadScanState(&ms2)), KIV_E_STATE);
}

TEST_F(ScanStateLinux, CheckpointsComeBetweenBlocksAndAtTheEnd) {
    std::string path = Image("fat16-c512.img");
    if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    Recorder rec;
    rec.m_nWantAt = 2;
    {
        Engine e(path);
        ASSERT_EQ(KivErrNo(e.pEngine->SetCheckpointSink(&rec)), 0);
        StopCallback cb(3);
        e.Scan(&cb);
    }
    // The one asked for after block 2, then the stopped scan's own.
    ASSERT_EQ(rec.done, (std::vector<uint64_t>{2, 3}));
    EXPECT_EQ(rec.complete, (std::vector<int>{0, 0}));
    // The state of block 2 goes on just as well as the last one.
    Engine e(path);
    CKivMemStream ms(rec.states[0]);
    ASSERT_EQ(KivErrNo(e.pEngine->LoadScanState(&ms)), 0);
    Recorder rec2;
    ASSERT_EQ(KivErrNo(e.pEngine->SetCheckpointSink(&rec2)), 0);
    StopCallback cb;
    e.Scan(&cb);
    ASSERT_FALSE(rec2.complete.empty());
    EXPECT_EQ(rec2.complete.back(), 1);
    EXPECT_EQ(rec2.done.back(), cb.m_nBlocks);
    EXPECT_EQ(Enumerate(e.pEngine).tree, Whole(path).tree);
}

TEST_F(ScanStateLinux, TakenOverScanReadsOnlyWhatTheTreesNeed) {
    std::string path = Image("fat32-c512.img");
    if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
    std::ifstream f(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
    auto run = [&](CKivMemStream* pIn, CKivMemStream* pOut, uint64_t* pScanReads, uint64_t* pTreeReads) {
        auto* pDev = new KivMemDevStor(bytes);
        auto* pEngine = new CKivScanDev();
        ASSERT_EQ(KivErrNo(pEngine->Init(pDev)), 0);
        if (pIn) {
            ASSERT_EQ(KivErrNo(pEngine->LoadScanState(pIn)), 0);
        } else {
            StopCallback cb;
            ASSERT_EQ(KivErrNo(pEngine->DoScan(nullptr, &cb)), 0);
            ASSERT_EQ(KivErrNo(pEngine->WaitForScanEnd(0)), 0);
            ASSERT_EQ(KivErrNo(pEngine->SaveScanState(pOut)), 0);
        }
        *pScanReads = pDev->m_nSectorsRead;
        Enumerate(pEngine);
        *pTreeReads = pDev->m_nSectorsRead - *pScanReads;
        pEngine->Release();
        pDev->Release();
    };
    CKivMemStream saved;
    uint64_t nScan = 0, nTrees = 0, nLoad = 0, nTreesAfterLoad = 0;
    run(nullptr, &saved, &nScan, &nTrees);
    saved.Rewind();
    run(&saved, nullptr, &nLoad, &nTreesAfterLoad);
    EXPECT_GE(nScan, bytes.size() / 512);  // the pass read the whole image
    EXPECT_EQ(nLoad, 0u);                  // taking the state over reads nothing
    EXPECT_EQ(nTreesAfterLoad, nTrees);    // and the trees read what they read after a pass
}

// Scanners side by side on each block and holes handed over as zeros without a read give the
// state (partitions, records, carved files, counters) and results of one scanner after the other
// reading every sector.
TEST_F(ScanStateLinux, SideBySideAndHolesGiveTheSameResult) {
    for (const char* name : {"fat32-c512.img", "ntfs-c4k.img"}) {
        std::string path = Image(name);
        if (path.empty()) KIV_SKIP_MISSING_TOOL("the recovery images could not be made");
        std::ifstream f(path, std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)), {});
        // The image behind three blocks and a bit of hole, and a long hole after it.
        const uint64_t nAt = 3 * 8192 + 100, nSectors = nAt + bytes.size() / 512 + 40 * 8192 + 7;
        struct Run {
            std::vector<uint8_t> state;
            Result result;
            uint64_t nRead;
        };
        auto scan = [&](bool bSideBySide, bool bHoles) {
            auto* pDev = new KivSparseDevStor(bytes, nSectors);
            pDev->m_nHeadSector = nAt;
            pDev->m_bHoles = bHoles;
            auto* pEngine = new CKivScanDev();
            EXPECT_EQ(KivErrNo(pEngine->Init(pDev)), 0);
            pEngine->SetSideBySide(bSideBySide);
            StopCallback cb;
            EXPECT_EQ(KivErrNo(pEngine->DoScan(nullptr, &cb)), 0);
            EXPECT_EQ(KivErrNo(pEngine->WaitForScanEnd(0)), 0);
            EXPECT_EQ(cb.m_nDone, cb.m_nBlocks);
            Run r;
            CKivMemStream ms;
            EXPECT_EQ(KivErrNo(pEngine->SaveScanState(&ms)), 0);
            r.state = ms.Data();
            r.nRead = pDev->m_nSectorsRead;
            r.result = Enumerate(pEngine);
            pEngine->Release();
            pDev->Release();
            return r;
        };
        Run one = scan(false, false), side = scan(true, false), holes = scan(true, true);
        ASSERT_FALSE(one.result.tree.empty()) << name;
        EXPECT_TRUE(one.state == side.state) << name;
        EXPECT_EQ(side.result.parts, one.result.parts) << name;
        EXPECT_EQ(side.result.tree, one.result.tree) << name;
        EXPECT_TRUE(holes.state == one.state) << name;
        EXPECT_EQ(holes.result.parts, one.result.parts) << name;
        EXPECT_EQ(holes.result.tree, one.result.tree) << name;
        // The scan read no hole; the trees read what they need afterwards.
        EXPECT_GE(one.nRead, nSectors);
        EXPECT_LE(holes.nRead, bytes.size() / 512 + 2 * 8192) << name;
    }
}
