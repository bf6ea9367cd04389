#include "CKivFileRecover.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "CKivFileCopy.h"
#include "CKivRecoverNames.h"
#include "KivLog.h"
#include "KivRecoverCode.h"
#include "Storage/KivRecoverStor.h"
#include "platform/KivFileUtil.h"
#include "platform/KivNamedLock.h"

namespace {

// Type codes 4 and 5 are read through a 512-byte-sector view; every other type reads the device.
IKivDevStor* ChooseReader(IKivFileNode* pNode, IKivDevStor* pDev) {
    int32_t nType = pNode->GetFsType();
    return (nType == 4 || nType == 5) ? GetRecoverStor(pDev) : pDev;
}

// Errors after which the destination takes no further file: going on would only fail again.
bool StopsRecovery(int nErrno) { return KivIsDestFullErrno(nErrno); }

}  // namespace

struct CKivFileRecover::Impl {
    IKivDevStor* pDev = nullptr;
    std::thread thread;
    std::mutex mtx;
    std::condition_variable cv;
    bool bFinished = false;
    bool bSucceeded = false;
    std::atomic<uint64_t> nWritten{0}, nFailed{0}, nDamaged{0}, nBytes{0};
    std::atomic<bool> bDestStopped{false};  // the destination is full or read-only

    // Starts fn on a fresh recovery thread after the previous one has ended.
    KivResult Start(std::function<bool()> fn, const char* pszOp);
    void Finish(bool bOk) {
        std::lock_guard<std::mutex> lk(mtx);
        bFinished = true;
        bSucceeded = bOk;
        cv.notify_all();
    }

    // Copies one entry to dest and reports its outcome. With bPlaceholder, dest is an empty file
    // made for it, deleted again unless the copy completes.
    CKivFileCopy::Outcome CopyOne(IKivFileRecoverCallback* pCb, IKivDevStor* pReader, IKivFileNode* pNode,
                                  const std::string& dest, bool bPlaceholder);
    void ReportFailed(IKivFileRecoverCallback* pCb, IKivFileNode* pNode, const std::string& path,
                      const std::string& reason, int nErrno);
    bool RecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCb, std::string dest, char* pszCreated,
                    uint32_t nCreatedSize);
};

KivResult CKivFileRecover::Impl::Start(std::function<bool()> fn, const char* pszOp) {
    if (thread.joinable()) thread.join();  // a recovery nobody waited for
    bFinished = bSucceeded = false;
    nWritten = nFailed = nDamaged = nBytes = 0;
    bDestStopped = false;
    try {
        thread = std::thread([this, fn = std::move(fn)] {
            bool bOk = false;
            try {
                bOk = fn();
            } catch (const std::exception& e) {
                KivLogA(0, "Recovery stopped: %s", e.what());
            }
            Finish(bOk);
        });
    } catch (const std::system_error&) {
        return KIV_RECOVER_FAIL(KIV_E_BIND, pszOp);
    }
    return KIV_OK;
}

void CKivFileRecover::Impl::ReportFailed(IKivFileRecoverCallback* pCb, IKivFileNode* pNode, const std::string& path,
                                         const std::string& reason, int nErrno) {
    ++nFailed;
    KivRecoverIssue issue;
    issue.pszPath = path.c_str();
    issue.pszName = pNode->GetAttr() ? pNode->GetAttr()->GetName() : "";
    issue.pszReason = reason.c_str();
    issue.nErrno = nErrno;
    issue.bStopsRecovery = StopsRecovery(nErrno);
    issue.pNode = pNode;
    if (issue.bStopsRecovery) bDestStopped = true;
    KivLogA(0, "Recover failed.file name: %s (%s)", path.c_str(), reason.c_str());
    pCb->OnFileFailedEx(issue);
}

CKivFileCopy::Outcome CKivFileRecover::Impl::CopyOne(IKivFileRecoverCallback* pCb, IKivDevStor* pReader,
                                                     IKivFileNode* pNode, const std::string& dest, bool bPlaceholder) {
    CKivFileCopy copy(pCb, pReader);
    auto res = copy.Copy(pNode, dest);
    if (bPlaceholder && !copy.Complete()) KivRemoveFile(dest);
    if (res == CKivFileCopy::kFailed) {
        ReportFailed(pCb, pNode, dest, copy.FailReason().empty() ? "failed" : copy.FailReason(), copy.FailErrno());
        return res;
    }
    if (!copy.Complete()) return res;  // cancelled part-way: nothing written stays
    nBytes += copy.BytesWritten();
    ++nWritten;
    KivRecoverIssue written;
    written.pszPath = copy.FinalPath().c_str();
    written.pszName = pNode->GetAttr()->GetName();
    written.pszReason = copy.Damaged() ? copy.DamageReason().c_str() : "";
    written.pNode = pNode;
    pCb->OnFileWrittenEx(written);
    if (copy.Damaged()) {
        ++nDamaged;
        KivRecoverIssue issue;
        issue.pszPath = copy.FinalPath().c_str();
        issue.pszName = pNode->GetAttr()->GetName();
        issue.pszReason = copy.DamageReason().c_str();
        issue.pNode = pNode;
        issue.pRanges = copy.DamagedRanges().data();
        issue.nRanges = copy.DamagedRanges().size();
        pCb->OnFileDamagedEx(issue);
    }
    return res;
}

bool CKivFileRecover::Impl::RecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCb, std::string dest,
                                       char* pszCreated, uint32_t nCreatedSize) {
    if (dest.back() != '/') dest += '/';
    if (!CKivRecoverNames::MakeFolderPath(dest)) {
        KivLogA(0, "Recover folder cannot be created: %s", dest.c_str());
        return false;
    }
    IKivFileAttr* pAttr = pNode->GetAttr();
    if (!pAttr || pAttr->GetCheckState() == KIV_CHECK_NONE) return false;
    // Names are cut to what the destination takes, not shorter: the folders made below lie on the
    // same file system.
    const size_t nMax = KivNameMax(dest);
    std::string top = CKivRecoverNames::MakeNewFolder(dest + CKivRecoverNames::TopFolderName(pAttr->GetName(), nMax), nMax);
    IKivDevStor* pReader = ChooseReader(pNode, pDev);

    // Depth-first over the ticked entries with an explicit stack: a deep tree from a damaged disk
    // must not exhaust the thread's stack. An empty folder means the subtree has none of its own
    // and its files go to the destination folder. A folder gets its entry's times once everything
    // in it is written (each file written into it would change them again).
    struct Frame {
        IKivFileNode* pNext;
        std::string folder;
        IKivFileNode* pDir;
    };
    std::vector<Frame> stack{{pNode->GetFirstChild(), top, pNode}};
    auto restoreTimes = [](const Frame& f) {
        if (!f.folder.empty() && f.pDir->GetAttr()) CKivFileCopy::RestoreTimes(f.folder, f.pDir->GetAttr());
    };
    while (!stack.empty()) {
        IKivFileNode* pChild = stack.back().pNext;
        if (!pChild) {
            restoreTimes(stack.back());
            stack.pop_back();
            continue;
        }
        stack.back().pNext = pChild->GetNextSibling();
        const std::string folder = stack.back().folder;
        IKivFileAttr* pA = pChild->GetAttr();
        if (!pA || pA->GetCheckState() == KIV_CHECK_NONE) continue;
        std::string name = CKivRecoverNames::SafeComponent(pA->GetName(), nMax);
        if (name != pA->GetName()) KivLogA(0, "Recover name changed for the destination: %s -> %s", pA->GetName(), name.c_str());
        if (pA->GetAttributes() & KIV_FA_DIRECTORY) {
            std::string sub = folder.empty() ? std::string() : CKivRecoverNames::MakeNewFolder(folder + "/" + name, nMax);
            stack.push_back({pChild->GetFirstChild(), sub, pChild});
            continue;
        }
        errno = 0;
        std::string path = CKivRecoverNames::MakeOutputFile(folder, name, dest, nMax);
        if (path.empty()) {
            int e = errno ? errno : EIO;
            ReportFailed(pCb, pChild, (folder.empty() ? dest : folder + "/") + name, std::strerror(e), e);
        } else if (CopyOne(pCb, pReader, pChild, path, true) == CKivFileCopy::kCancelled) {
            break;
        }
        if (bDestStopped) break;
    }
    // A recovery stopped part-way still leaves the folders it made with their times.
    for (auto it = stack.rbegin(); it != stack.rend(); ++it) restoreTimes(*it);

    if (pszCreated && nCreatedSize) {
        // A cut path would name another folder: hand back nothing rather than a wrong one.
        if (top.size() < nCreatedSize) {
            std::memcpy(pszCreated, top.c_str(), top.size() + 1);
        } else {
            pszCreated[0] = 0;
            KivLogA(0, "Recover folder path longer than the caller's buffer: %s", top.c_str());
        }
    }
    return true;
}

CKivFileRecover::CKivFileRecover() : m_pImpl(new Impl) {}

CKivFileRecover::~CKivFileRecover() {
    if (m_pImpl->thread.joinable()) m_pImpl->thread.join();
    delete m_pImpl;
}

void CKivFileRecover::SetDevice(IKivDevStor* pDev) { m_pImpl->pDev = pDev; }

KivResult CKivFileRecover::DoRecoverFile(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                                         const char* pszDestFile) {
    static const char kOp[] = "CKivScanDev::DoRecoverFile";
    if (!m_pImpl->pDev) return KIV_RECOVER_FAIL(KIV_E_INITSTATE, kOp);
    if (!pNode || !pCallback || !pszDestFile || !*pszDestFile) return KIV_RECOVER_FAIL(KIV_E_INVALIDARG, kOp);
    std::string dest = pszDestFile;
    Impl* p = m_pImpl;
    return p->Start(
        [p, pNode, pCallback, dest] {
            char szName[32];
            std::snprintf(szName, sizeof szName, "File%jx", static_cast<uintmax_t>(reinterpret_cast<uintptr_t>(pNode)));
            // One recovery of a node at a time, across engines and processes.
            CKivNamedLock lock(szName);
            bool bLocked = lock.Lock();
            auto res = p->CopyOne(pCallback, ChooseReader(pNode, p->pDev), pNode, dest, false);
            if (bLocked) lock.Unlock();
            return res == CKivFileCopy::kOk;
        },
        kOp);
}

KivResult CKivFileRecover::DoRecoverDir(IKivFileNode* pNode, IKivFileRecoverCallback* pCallback,
                                        const char* pszDestDir, char* pszCreated, uint32_t nCreatedSize) {
    static const char kOp[] = "CKivScanDev::DoRecoverDir";
    if (!m_pImpl->pDev) return KIV_RECOVER_FAIL(KIV_E_INITSTATE, kOp);
    if (!pNode || !pCallback || !pszDestDir || !*pszDestDir || !pszCreated || !nCreatedSize)
        return KIV_RECOVER_FAIL(KIV_E_INVALIDARG, kOp);
    // A destination cut to fit a buffer would be another folder: refuse it instead.
    if (std::strlen(pszDestDir) >= PATH_MAX) return KIV_RECOVER_FAIL(KIV_E_INVALIDARG, kOp);
    std::string dest = pszDestDir;
    Impl* p = m_pImpl;
    return p->Start([p, pNode, pCallback, dest, pszCreated,
                     nCreatedSize] { return p->RecoverDir(pNode, pCallback, dest, pszCreated, nCreatedSize); },
                    kOp);
}

KivResult CKivFileRecover::WaitForRecoverEnd(uint32_t nMs) {
    static const char kOp[] = "CKivFileRecover::WaitForRecoverEnd";
    Impl* p = m_pImpl;
    if (!p->thread.joinable()) return KIV_RECOVER_FAIL(KIV_E_STATE, kOp);
    {
        std::unique_lock<std::mutex> lk(p->mtx);
        if (nMs == 0)
            p->cv.wait(lk, [p] { return p->bFinished; });
        else if (!p->cv.wait_for(lk, std::chrono::milliseconds(nMs), [p] { return p->bFinished; }))
            return KivRecoverCode(__LINE__, KIV_E_TIMEOUT);
    }
    p->thread.join();
    return p->bSucceeded ? KIV_OK : KIV_RECOVER_FAIL(KIV_E_BIND, kOp);
}

KivRecoverStats CKivFileRecover::GetStats() const {
    return {m_pImpl->nWritten, m_pImpl->nFailed, m_pImpl->nDamaged, m_pImpl->nBytes};
}
