#include "KivContainerOpen.h"

#include <cstring>
#include <vector>

#include "CKivEwfImage.h"
#include "CKivQcowImage.h"
#include "CKivSplitRawImage.h"
#include "CKivVhdiImage.h"
#include "CKivVmdkImage.h"
#include "IKivImageFormats.h"
#include "KivLog.h"
#include "platform/KivFile.h"

namespace {

bool StartsWith(const std::vector<uint8_t>& b, const char* psz, size_t n) {
    return b.size() >= n && std::memcmp(b.data(), psz, n) == 0;
}

// A VMDK descriptor is a text file whose first non-comment line is "version=1".
bool IsVmdkDescriptor(const std::vector<uint8_t>& b) {
    std::string head(b.begin(), b.end());
    return head.find("# Disk DescriptorFile") != std::string::npos && head.find("createType") != std::string::npos;
}

}  // namespace

KivImageKind KivSniffImage(const std::string& strPath) {
    CKivFile f;
    uint64_t nBytes = 0;
    if (!f.Open(strPath, CKivFile::Mode::kRead) || !f.IsRegular() || !f.Size(&nBytes) || nBytes < 512) return KivImageKind::kRaw;
    std::vector<uint8_t> head(1024, 0), tail(512, 0);
    int64_t got = f.ReadAt(0, head.data(), head.size());
    if (got < 8) return KivImageKind::kRaw;
    head.resize(size_t(got));
    if (StartsWith(head, "EVF\x09\x0d\x0a\xff\x00", 8)) return KivImageKind::kEwf;
    if (StartsWith(head, "EVF2\x0d\x0a\x81\x00", 8)) return KivImageKind::kEwf2;
    if (StartsWith(head, "LVF\x09\x0d\x0a\xff\x00", 8) || StartsWith(head, "LEF2\x0d\x0a\x81\x00", 8)) return KivImageKind::kOther;
    if (StartsWith(head, "QFI\xfb", 4)) return KivImageKind::kQcow;
    if (StartsWith(head, "vhdxfile", 8)) return KivImageKind::kVhdx;
    if (StartsWith(head, "KDMV", 4) || StartsWith(head, "COWD", 4) || IsVmdkDescriptor(head)) return KivImageKind::kVmdk;
    // A dynamic VHD starts with a copy of its footer; a fixed one is the disk with a footer after it.
    if (StartsWith(head, "conectix", 8)) return KivImageKind::kVhd;
    if (f.ReadAt(nBytes - 512, tail.data(), 512) == 512 && StartsWith(tail, "conectix", 8)) return KivImageKind::kVhd;
    if (CKivSplitRawImage::FindPieces(strPath).size() > 1) return KivImageKind::kSplitRaw;
    return KivImageKind::kRaw;
}

const char* KivImageKindName(KivImageKind kind) {
    switch (kind) {
        case KivImageKind::kRaw: return "raw";
        case KivImageKind::kSplitRaw: return "split raw";
        case KivImageKind::kEwf: return "E01";
        case KivImageKind::kEwf2: return "Ex01";
        case KivImageKind::kVhd: return "VHD";
        case KivImageKind::kVhdx: return "VHDX";
        case KivImageKind::kVmdk: return "VMDK";
        case KivImageKind::kQcow: return "QCOW2";
        case KivImageKind::kOther: return "logical evidence file";
    }
    return "?";
}

std::unique_ptr<CKivContainer> KivOpenContainer(const std::string& strPath, KivImageKind kind, std::string* pWhy) {
    if (pWhy) pWhy->clear();
    switch (kind) {
        case KivImageKind::kRaw: return nullptr;
        case KivImageKind::kSplitRaw: return CKivSplitRawImage::Open(CKivSplitRawImage::FindPieces(strPath), pWhy);
        case KivImageKind::kEwf:
        case KivImageKind::kEwf2: return CKivEwfImage::Open(strPath, kind == KivImageKind::kEwf2, pWhy);
        case KivImageKind::kVhd:
        case KivImageKind::kVhdx: return CKivVhdiImage::Open(strPath, pWhy);
        case KivImageKind::kVmdk: return CKivVmdkImage::Open(strPath, pWhy);
        case KivImageKind::kQcow: return CKivQcowImage::Open(strPath, pWhy);
        case KivImageKind::kOther: break;
    }
    if (pWhy) *pWhy = strPath + " is a logical evidence file (files, not a disk); it cannot be scanned as a disk";
    return nullptr;
}

std::string KivContainerFormats() {
    struct Row {
        const char* pszFormats;
        bool (*pfn)(std::string*);
    };
    static const Row kRows[] = {{"E01/Ex01", CKivEwfImage::Available},
                                {"VHD/VHDX", CKivVhdiImage::Available},
                                {"VMDK", CKivVmdkImage::Available},
                                {"QCOW2", CKivQcowImage::Available}};
    std::string out = "raw: yes\nsplit raw (.001 .002 ...): yes\n";
    for (const Row& r : kRows) {
        std::string why;
        out += std::string(r.pszFormats) + ": " + (r.pfn(&why) ? "yes" : "lacking (" + why + ")") + "\n";
    }
    return out;
}

KivResult KivContainerFailure(const std::string& strWhy) {
    // A library this build lacks is told apart from a container that cannot be read.
    return strWhy.rfind("this build lacks", 0) == 0 ? KIV_RETERR(KIV_E_NOFORMAT) : KIV_RETERR(KIV_E_CONTAINER);
}
