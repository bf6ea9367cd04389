// Scans an image with the NTFS scanner alone and reads files back out of the tree it builds.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "IKivScanDev.h"
#include "KivMemDevStor.h"
#include "KivScanPass.h"
#include "Model/CKivCompactRunList.h"
#include "Ntfs/CKivNTFSScanner.h"
#include "Ntfs/CKivNtfsFileRecord.h"

struct NtfsScan {
    std::unique_ptr<CKivNTFSScanner, void (*)(CKivNTFSScanner*)> scanner{nullptr, [](CKivNTFSScanner* p) { p->Release(); }};
    std::vector<CKivScanResPart*> parts;
    ~NtfsScan() {
        for (auto* p : parts) delete p;
    }
    // The candidate with the best raw evidence (the engine's score is monotonic in it).
    CKivScanResPart* Best() const {
        CKivScanResPart* best = nullptr;
        uint64_t bestRaw = 0;
        for (auto* p : parts) {
            uint64_t raw = 50 * p->m_nEvidenceB + p->m_nEvidenceC + p->m_nEvidenceA;
            if (!best || raw > bestRaw) best = p, bestRaw = raw;
        }
        return best;
    }
};

inline void ScanNtfs(IKivDevStor* dev, NtfsScan* out, uint32_t blockSectors = 0) {
    out->scanner.reset(static_cast<CKivNTFSScanner*>(CreateNtfsScanner()));
    CKivNTFSScanner* s = out->scanner.get();
    KivScanPass(s, dev, blockSectors ? blockSectors : KivScanBlockSectors(dev->GetSectorSize()));
    s->EnumParts(&out->parts);
}

// The node at a "/"-separated path below pRoot (names compared exactly), or null.
inline IKivFileNode* FindPath(IKivFileNode* pRoot, const std::string& path) {
    IKivFileNode* cur = pRoot;
    size_t pos = 1;
    while (cur && pos <= path.size()) {
        size_t slash = path.find('/', pos);
        std::string part = path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        IKivFileNode* next = nullptr;
        for (IKivFileNode* c = cur->GetFirstChild(); c; c = c->GetNextSibling())
            if (part == c->GetAttr()->GetName()) next = c;
        cur = next;
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return cur;
}

// Reads an uncompressed file's bytes through its runs (resident data from its record).
inline bool ReadNodeData(IKivFileNode* node, IKivDevStor* dev, std::vector<uint8_t>* out) {
    uint64_t base = 0;
    uint32_t spc = 0;
    if (!node->GetPartInfo(&base, &spc) || spc == 0) return false;
    IKivFileAttr* a = node->GetAttr();
    uint64_t size = a->GetSize();
    std::unique_ptr<IDataRunList> runs(a->GetDataRunList());
    out->clear();
    if (!runs) return size == 0;
    const uint32_t Z = dev->GetSectorSize();
    if (runs->IsResident()) {
        const KivDataRun* r = runs->First();
        std::vector<uint8_t> rec(4096 / Z ? 4096 : Z);
        if (!r || !dev->ReadSectors(rec.data(), base + r->nStart, rec.size() / Z)) return false;
        CKivNtfsFileRecord parsed;
        if (!parsed.Parse(rec)) return false;
        auto bytes = parsed.Bytes();
        size_t off = runs->GetResidentValue();
        if (off + r->nLength > bytes.size()) return false;
        out->assign(bytes.begin() + off, bytes.begin() + off + r->nLength);
        return true;
    }
    std::vector<uint8_t> cluster(size_t(spc) * Z);
    for (const KivDataRun* r = runs->First(); r && out->size() < size; r = runs->Next()) {
        for (uint64_t c = 0; c < r->nLength && out->size() < size; ++c) {
            if (r->nStart == KIV_SPARSE_RUN)
                std::fill(cluster.begin(), cluster.end(), 0);
            else if (!dev->ReadSectors(cluster.data(), base + (r->nStart + c) * spc, spc))
                return false;
            size_t take = size_t(std::min<uint64_t>(cluster.size(), size - out->size()));
            out->insert(out->end(), cluster.begin(), cluster.begin() + take);
        }
    }
    return out->size() == size;
}
