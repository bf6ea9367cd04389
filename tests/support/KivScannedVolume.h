// A volume found by one file-system scanner alone: the storage fed to it block by block, its
// partitions scored and selected as the engine does, the tree of the first selected one, and the
// recovery of that tree into a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "CKivFileRecover.h"
#include "CKivRecoverNames.h"
#include "IKivScanDev.h"
#include "KivPartSelection.h"
#include "KivPortable.h"
#include "KivScanPass.h"
#include "KivTestTree.h"

template <class TScanner, class TPart>
struct KivScannedVolume {
    struct Releaser {
        void operator()(IKivDevStor* p) const { p->Release(); }
    };
    std::unique_ptr<IKivDevStor, Releaser> pStor;
    TScanner* pScanner = nullptr;
    std::vector<std::unique_ptr<CKivScanResPart>> parts;
    TPart* pPart = nullptr;  // the first selected
    IKivFsNode* pRoot = nullptr;

    KivScannedVolume() = default;
    KivScannedVolume(const KivScannedVolume&) = delete;
    KivScannedVolume& operator=(const KivScannedVolume&) = delete;
    ~KivScannedVolume() {
        KivSafeRelease(pRoot);
        KivSafeRelease(pScanner);
    }

    // Takes the caller's references to pStorage and pNew. nBlock 0: the scan's own block size.
    void Scan(IKivDevStor* pStorage, TScanner* pNew, uint32_t nBlock = 0) {
        pStor.reset(pStorage);
        pScanner = pNew;
        IKivDevStor* s = pStor.get();
        if (!nBlock) nBlock = KivScanBlockSectors(s->GetSectorSize());
        KivScanPass(pScanner, s, nBlock);
        std::vector<CKivScanResPart*> raw;
        pScanner->EnumParts(&raw);
        KivScoreAndSelectParts(raw, s->GetSectorCount());
        for (CKivScanResPart* p : raw) {
            parts.emplace_back(p);
            if (p->m_nSelected && !pPart) pPart = dynamic_cast<TPart*>(p);
        }
        if (pPart) pRoot = pScanner->BuildTree(pPart, s, 0, nullptr);
    }

    size_t Selected() const {
        size_t n = 0;
        for (auto& p : parts) n += p->m_nSelected;
        return n;
    }

    // The damage the entry at path records in its attribute (a TAttr); kIntact, and a failure,
    // when the tree lacks it.
    template <class TAttr>
    auto Damage(const std::string& path) const {
        IKivFileNode* p = kivtest::Find(pRoot, path);
        EXPECT_NE(p, nullptr) << path << "\n" << kivtest::Dump(pRoot);
        return p ? static_cast<TAttr*>(p->GetAttr())->GetDamage() : TAttr::kIntact;
    }
};

class KivRecoverListCallback : public IKivFileRecoverCallback {
public:
    int OnFileDone(uint32_t) override { return 0; }
    int OnBytesWritten(uint64_t) override { return 0; }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return 0; }
    int IsCancelled() override { return 0; }
    void OnFileDamaged(const char* p) override { damaged.push_back(p); }
    void OnFileFailed(const char* p) override { failed.push_back(p); }
    std::vector<std::string> damaged, failed;
};

// A whole tree recovered into a fresh temporary folder (removed with the object).
struct KivRecoveredTree {
    std::filesystem::path dir;
    std::string top;  // the folder made for the partition
    KivRecoverListCallback cb;

    KivRecoveredTree() = default;
    KivRecoveredTree(const KivRecoveredTree&) = delete;
    KivRecoveredTree& operator=(const KivRecoveredTree&) = delete;
    ~KivRecoveredTree() {
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    // Where the entry at path of the tree was written: each name as recovery makes it safe.
    std::string Out(const std::string& path) const {
        std::string s = top;
        for (size_t pos = 0; pos <= path.size();) {
            size_t e = path.find('/', pos);
            if (e == std::string::npos) e = path.size();
            s += "/" + CKivRecoverNames::SafeComponent(path.substr(pos, e - pos));
            pos = e + 1;
        }
        return s;
    }
    bool Damaged(const std::string& path) const { return Listed(cb.damaged, path); }
    bool Failed(const std::string& path) const { return Listed(cb.failed, path); }
    bool Listed(const std::vector<std::string>& list, const std::string& path) const {
        for (const std::string& d : list)
            if (d == Out(path)) return true;
        return false;
    }
};

// Recovers everything below pRoot, read from pStor, into a new folder named after strTag (and
// named apart from any other temporary folder of the tests).
inline void KivRecoverTree(IKivFsNode* pRoot, IKivDevStor* pStor, const std::string& strTag, KivRecoveredTree* out) {
    static std::atomic<int> s_n{0};
    out->dir = std::filesystem::temp_directory_path() /
               ("undelia-recovered-" + strTag + "-" + std::to_string(KivTestPid()) + "-" + std::to_string(s_n++));
    std::filesystem::create_directories(out->dir);
    ASSERT_NE(pRoot, nullptr);
    if (pRoot->GetAttr()->GetCheckState() != KIV_CHECK_FULL) pRoot->ToggleCheck(0);  // everything ticked
    CKivFileRecover rec;
    rec.SetDevice(pStor);
    char created[4096] = {};
    ASSERT_EQ(KivErrNo(rec.DoRecoverDir(pRoot, &out->cb, out->dir.string().c_str(), created, sizeof created)), 0u);
    ASSERT_EQ(KivErrNo(rec.WaitForRecoverEnd(0)), 0u);
    out->top = created;
}
