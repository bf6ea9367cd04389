// Scan sessions: size and save time of the saved scan of a 1 GiB FAT32 image and of a synthetic
// result of 1,000,000 carved files; listing from the saved scan against scanning again.
// Usage: session-bench [IMAGE]   (default: a 1 GiB FAT32 image made by scripts/make-fat-images --bench)
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CKivScanDev.h"
#include "CKivScanState.h"
#include "KivMemDevStor.h"
#include "KivQuietCallbacks.h"
#include "Model/CKivMemStream.h"
#include "platform/KivAtomicFile.h"

namespace {

using QuietScan = KivQuietScan;
using QuietTree = KivQuietTree;

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Saves the bytes the way a session is saved (temporary file, fsync, rename); answers seconds.
double SaveFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    auto t0 = std::chrono::steady_clock::now();
    std::string why;
    if (!KivWriteFileAtomic(path, {{bytes.data(), bytes.size()}}, &why)) std::fprintf(stderr, "%s\n", why.c_str());
    return Seconds(t0);
}

size_t CountNodes(IKivFileNode* p) {
    size_t n = 0;
    for (IKivFileNode* c = p->GetFirstChild(); c; c = c->GetNextSibling()) n += 1 + CountNodes(c);
    return n;
}

// Partitions and trees of an engine whose scan has ended (or was taken over); answers the entries.
size_t ListAll(IKivScanDev* pEngine) {
    std::vector<CKivScanResPart*> parts;
    pEngine->EnumResParts(&parts);
    QuietTree cb;
    IKivFsNode* pRoot = nullptr;
    size_t n = 0;
    if (KivSucceeded(pEngine->EnumResFiles(0, &parts, &cb, &pRoot)) && pRoot) {
        n = CountNodes(pRoot);
        pRoot->Release();
    }
    for (CKivScanResPart* p : parts) delete p;
    return n;
}

void Synthetic(const std::string& dir) {
    const size_t kFiles = 1000000;
    CRawFileList list;
    for (size_t i = 0; i < kFiles; ++i) {
        auto* p = new CRawFileInfo;
        p->m_nStartSector = 2048 + i * 97;
        p->m_nSize = 40000 + (i % 5000) * 13;
        p->m_nTypeId = 1 + i % 70;
        p->m_nAnalyserId = static_cast<uint32_t>(i % 60);
        list.Add(p);
    }
    CKivScanState st;
    st.nSectorSize = 512;
    st.nBlockSectors = 8192;
    st.nBlocks = st.nBlocksDone = 100000;
    st.bComplete = true;
    auto t0 = std::chrono::steady_clock::now();
    CKivMemStream ms;
    st.Save(&ms, &list);
    double dSerial = Seconds(t0);
    double dWrite = SaveFile(dir + "/synthetic.und", ms.Data());
    ms.Rewind();
    CRawFileList back;
    auto t1 = std::chrono::steady_clock::now();
    CKivScanState st2;
    st2.Load(&ms, &back);
    double dLoad = Seconds(t1);
    std::printf("synthetic: %zu carved files  state %.1f MiB  %.1f bytes/record  serialise %.3f s  write+fsync %.3f s  load %.3f s\n",
                kFiles, ms.Size() / 1048576.0, double(ms.Size()) / kFiles, dSerial, dWrite, dLoad);
}

}  // namespace

int main(int argc, char** argv) {
    std::string img = argc > 1 ? argv[1] : "/tmp/undelia-fat-bench.img";
    bool bMade = false;
    struct stat st {};
    if (argc < 2 && ::stat(img.c_str(), &st) != 0) {
        std::string src = __FILE__;
        std::string cmd = src.substr(0, src.rfind("/bench/")) + "/scripts/make-fat-images --bench '" + img + "' >/dev/null";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "cannot make %s\n", img.c_str());
            return 1;
        }
        bMade = true;
    }
    std::string dir = "/tmp";
    Synthetic(dir);

    auto* pDev = new KivFileDevStor(img);
    // A scan, then its partitions and trees: what `ls` does without a session.
    auto* pEngine = new CKivScanDev();
    pEngine->Init(pDev);
    QuietScan cb;
    auto t0 = std::chrono::steady_clock::now();
    pEngine->DoScan(nullptr, &cb);
    pEngine->WaitForScanEnd(0);
    double dScan = Seconds(t0);
    auto t1 = std::chrono::steady_clock::now();
    size_t nEntries = ListAll(pEngine);
    double dList = Seconds(t1);
    auto t2 = std::chrono::steady_clock::now();
    CKivMemStream ms;
    pEngine->SaveScanState(&ms);
    double dSerial = Seconds(t2);
    double dWrite = SaveFile(dir + "/bench-image.und", ms.Data());
    pEngine->Release();

    // The same from the saved state: what `ls --session` does.
    auto* pEngine2 = new CKivScanDev();
    pEngine2->Init(pDev);
    ms.Rewind();
    auto t3 = std::chrono::steady_clock::now();
    pEngine2->LoadScanState(&ms);
    size_t nEntries2 = ListAll(pEngine2);
    double dFromSession = Seconds(t3);
    pEngine2->Release();
    pDev->Release();

    std::printf("image %s: state %.1f KiB  serialise %.3f s  write+fsync %.3f s\n", img.c_str(), ms.Size() / 1024.0,
                dSerial, dWrite);
    std::printf("listing: scan %.2f s + trees %.2f s = %.2f s;  from the saved scan %.2f s (%zu / %zu entries)  speed-up %.1fx\n",
                dScan, dList, dScan + dList, dFromSession, nEntries2, nEntries, (dScan + dList) / dFromSession);
    (void)bMade;  // kept for the other benches, as fat-throughput keeps it
    return 0;
}
