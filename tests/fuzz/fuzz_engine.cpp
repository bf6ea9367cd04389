// The whole engine over a small device: the scan pass with every scanner, the partition choice,
// the trees of the chosen partitions, and the recovery of some of their files into memory (a
// folder on tmpfs, emptied after each input).
#include <unistd.h>
#include <cstdlib>

#include <filesystem>
#include <string>

#include "CKivScanDev.h"
#include "KivFuzzSupport.h"
#include "KivQuietCallbacks.h"

namespace {

using ScanCallback = KivQuietScan;
using TreeCallback = KivQuietTree;
struct RecoverCallback : IKivFileRecoverCallback {
    int OnFileDone(uint32_t) override { return 0; }
    int OnBytesWritten(uint64_t) override { return 0; }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return 0; }
    int IsCancelled() override { return 0; }
};

constexpr uint64_t kMaxRecoveredBytes = 8u << 20;  // per file, to keep one input fast
constexpr int kMaxRecovered = 32;                  // files per input

// A folder of its own, removed with everything in it when the program ends.
struct ScratchDir {
    std::string path;
    ScratchDir() {
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = base + "/undelia-fuzz-XXXXXX";
        if (!mkdtemp(path.data())) path.clear();
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path.empty()) std::filesystem::remove_all(path, ec);
    }
};

const std::string& Scratch() {
    static ScratchDir dir;
    return dir.path;
}

// Ticks up to kMaxRecovered small files below pNode; answers how many.
int Tick(IKivFileNode* pNode, int nLeft) {
    int n = 0;
    for (IKivFileNode* c = pNode->GetFirstChild(); c && n < nLeft; c = c->GetNextSibling()) {
        IKivFileAttr* a = c->GetAttr();
        if (!a) continue;
        if (a->GetAttributes() & KIV_FA_DIRECTORY) {
            n += Tick(c, nLeft - n);
        } else if (a->GetSize() <= kMaxRecoveredBytes) {
            a->SetCheckState(KIV_CHECK_FULL);
            ++n;
        }
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto* dev = new KivFuzzDevStor({data, size});
    auto* engine = new CKivScanDev();
    ScanCallback scanCb;
    TreeCallback treeCb;
    if (engine->Init(dev) == KIV_OK && engine->DoScan(nullptr, &scanCb) == KIV_OK && engine->WaitForScanEnd(0) == KIV_OK) {
        std::vector<CKivScanResPart*> parts;
        IKivFsNode* root = nullptr;
        if (engine->EnumResParts(&parts) == KIV_OK && engine->EnumResFiles(0, &parts, &treeCb, &root) == KIV_OK && root) {
            int nLeft = kMaxRecovered;
            RecoverCallback recoverCb;
            for (IKivFileNode* part = root->GetFirstChild(); part && nLeft > 0; part = part->GetNextSibling()) {
                int n = Tick(part, nLeft);
                nLeft -= n;
                if (!n) continue;
                if (part->IsFsNode()) static_cast<IKivFsNode*>(part)->RefreshChecks();
                char created[4096] = {};
                if (!Scratch().empty() &&
                    engine->DoRecoverDir(part, &recoverCb, Scratch().c_str(), created, sizeof created) == KIV_OK)
                    while (KivErrNo(engine->WaitForRecoverEnd(100)) == KIV_E_TIMEOUT) {
                    }
            }
            root->Release();
        }
        for (CKivScanResPart* p : parts) delete p;
    }
    engine->Uninit();
    engine->Release();
    dev->Release();
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Scratch(), ec)) std::filesystem::remove_all(e.path(), ec);
    return 0;
}
