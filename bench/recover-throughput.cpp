// Recovery speed: copies a 500 MiB set of carved-like files out of a file image through the
// recovery object, and copies the same image with cp (and dd) in the same run. Prints the rates and
// their ratio, best of five alternating rounds.
// Usage: recover-throughput [work folder] (default: a new folder under /tmp, removed after).
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "CKivFileRecover.h"
#include "KivMemDevStor.h"
#include "Model/CKivFileAttrRAW.h"
#include "Model/KivNodeFactory.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kTotal = 500ull << 20;

class Callback : public IKivFileRecoverCallback {
public:
    int OnFileDone(uint32_t n) override { return nFiles += n, 0; }
    int OnBytesWritten(uint64_t n) override { return nBytes += n, 0; }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return 0; }
    int IsCancelled() override { return 0; }
    uint64_t nFiles = 0, nBytes = 0;
};

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    fs::path work;
    bool bOwnDir = argc < 2;
    if (bOwnDir) {
        std::string tmpl = "/tmp/kivbench.XXXXXX";
        work = ::mkdtemp(tmpl.data());
    } else {
        work = argv[1];
        fs::create_directories(work);
    }
    fs::path image = work / "image.bin";

    // Files of 16 KiB to 8 MiB, sector-aligned one after another, random content.
    std::mt19937_64 rng(42);
    struct File {
        uint64_t nSector, nSize;
    };
    std::vector<File> files;
    {
        int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<uint64_t> buf(1 << 17);
        uint64_t nPos = 0;
        while (nPos < kTotal) {
            uint64_t nSize = std::min<uint64_t>(16384 + rng() % (8 << 20), kTotal - nPos);
            files.push_back({nPos / 512, nSize});
            uint64_t nPadded = (nSize + 511) / 512 * 512;
            for (uint64_t done = 0; done < nPadded;) {
                size_t n = std::min<uint64_t>(buf.size() * 8, nPadded - done);
                for (auto& w : buf) w = rng();
                if (::write(fd, buf.data(), n) != static_cast<ssize_t>(n)) return 1;
                done += n;
            }
            nPos += nPadded;
        }
        ::fsync(fd);
        ::close(fd);
    }
    // Warm the page cache so both copies read from memory.
    if (std::system(("cat '" + image.string() + "' > /dev/null").c_str()) != 0) return 1;

    KivFileDevStor dev(image.string());
    IKivFsNode* pPart = KivNewFsNode(KivNewAttr(KIV_ATTR_RAW));
    pPart->GetAttr()->SetName("carved");
    pPart->GetAttr()->SetCheckState(KIV_CHECK_FULL);
    pPart->SetPartInfo(0, 1);
    pPart->SetFsType(KIV_FS_RAW);
    for (size_t i = 0; i < files.size(); ++i) {
        auto* a = new CKivFileAttrRAW;
        char name[32];
        std::snprintf(name, sizeof name, "FILE%03zu.bin", i + 1);
        a->SetName(name);
        a->SetSize(files[i].nSize);
        a->SetAttributes(32);
        a->SetSectorRun(files[i].nSector, files[i].nSize);
        a->SetCheckState(KIV_CHECK_FULL);
        pPart->AddChild(KivNewFileNode(a));
    }

    uint64_t nBytes = 0;
    for (auto& f : files) nBytes += f.nSize;
    CKivFileRecover rec;
    rec.SetDevice(&dev);
    Callback cb;
    char created[4096];
    // The machine is shared: alternate the copies a few times and keep the best of each.
    double dRec = 1e30, dCp = 1e30, dDd = 1e30;
    for (int round = 0; round < 5; ++round) {
        auto t0 = std::chrono::steady_clock::now();
        if (KivFailed(rec.DoRecoverDir(pPart, &cb, (work / "out").c_str(), created, sizeof created)) ||
            KivFailed(rec.WaitForRecoverEnd(0)))
            return 1;
        dRec = std::min(dRec, Seconds(t0));
        fs::remove_all(work / "out");

        t0 = std::chrono::steady_clock::now();
        if (std::system(("cp '" + image.string() + "' '" + (work / "copy.bin").string() + "'").c_str()) != 0)
            return 1;
        dCp = std::min(dCp, Seconds(t0));
        fs::remove(work / "copy.bin");

        // A plain read/write copy in 64 KiB pieces, for reference: cp copies inside the kernel.
        t0 = std::chrono::steady_clock::now();
        if (std::system(("dd status=none bs=64K if='" + image.string() + "' of='" + (work / "copy.bin").string() + "'")
                            .c_str()) != 0)
            return 1;
        dDd = std::min(dDd, Seconds(t0));
        fs::remove(work / "copy.bin");
    }

    double mbRec = nBytes / dRec / 1e6, mbCp = kTotal / dCp / 1e6;
    std::printf("recovery: %zu files, %.1f MB in %.2f s = %.1f MB/s\n", files.size(), nBytes / 1e6, dRec, mbRec);
    std::printf("cp:       %.1f MB in %.2f s = %.1f MB/s\n", kTotal / 1e6, dCp, mbCp);
    std::printf("dd 64K:   %.1f MB in %.2f s = %.1f MB/s\n", kTotal / 1e6, dDd, kTotal / dDd / 1e6);
    std::printf("ratio:    %.0f %% of cp (target >= 70 %%), %.0f %% of dd\n", 100 * mbRec / mbCp,
                100 * mbRec / (kTotal / dDd / 1e6));
    pPart->Release();
    if (bOwnDir)
        fs::remove_all(work);
    else
        fs::remove(image);
    return 0;
}
