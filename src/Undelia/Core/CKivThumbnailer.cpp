#include "CKivThumbnailer.h"

#include <cstdio>
#include <cstring>

#include "CDataBackstage.h"
#include "CKivOutputGuard.h"
#include "CKivUiNode.h"
#include "IKivScanDev.h"
#include "KivLog.h"
#include "platform/KivFileUtil.h"
#include "platform/KivText.h"

namespace {

// The engine's callbacks for one copy: no progress to draw, the damage noted, a stop answered.
class CopyCallback final : public IKivFileRecoverCallback {
public:
    explicit CopyCallback(const std::atomic<bool>& bStop) : m_bStop(bStop) {}
    int OnFileDone(uint32_t) override { return Answer(); }
    int OnBytesWritten(uint64_t) override { return Answer(); }
    int OnTailBytes(uint64_t) override { return 0; }
    int OnFileStart(const char*) override { return Answer(); }
    int IsCancelled() override { return Answer(); }
    void OnFileDamagedEx(const KivRecoverIssue&) override { m_bDamaged = true; }
    void OnFileFailedEx(const KivRecoverIssue&) override { m_bFailed = true; }
    bool m_bDamaged = false, m_bFailed = false;

private:
    int Answer() const { return m_bStop.load() ? -1 : 0; }
    const std::atomic<bool>& m_bStop;
};

}  // namespace

CKivThumbnailer::CKivThumbnailer(CDataBackstage& backstage, DecodeFn fnDecode)
    : m_backstage(backstage), m_fnDecode(std::move(fnDecode)) {
    // One program runs at a time: what an earlier one left behind is its own.
    std::string cache = KivUserDir("XDG_CACHE_HOME", ".cache");
    if (!cache.empty()) m_strFolder = cache + "/Thumbs";
    ClearFolder();
    m_thread = std::thread([this] { Run(); });
}

CKivThumbnailer::~CKivThumbnailer() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    m_thread.join();
    ClearFolder();
}

void CKivThumbnailer::ClearFolder() {
    std::vector<std::string> names;
    if (m_strFolder.empty() || !KivListDir(m_strFolder, &names)) return;
    for (const std::string& n : names)
        if (KivIsFile(m_strFolder + "/" + n)) KivRemoveFile(m_strFolder + "/" + n);
}

bool CKivThumbnailer::IsPicture(const char* pszName) {
    static const char* const kExts[] = {".jpg", ".jpeg", ".jpe", ".jfif", ".png", ".gif", ".bmp", ".dib",
                                        ".tif", ".tiff", ".webp", ".heic", ".heif", ".ico"};
    const char* pszDot = pszName ? std::strrchr(pszName, '.') : nullptr;
    if (!pszDot) return false;
    for (const char* e : kExts)
        if (KivStrICmp(pszDot, e) == 0) return true;
    return false;
}

void CKivThumbnailer::Request(CKivUiNode* pFile) {
    if (!pFile || !pFile->IsFile()) return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queued.count(pFile)) {
            // Asked again: it is on screen now, so it goes first.
            for (auto it = m_queue.begin(); it != m_queue.end(); ++it)
                if (*it == pFile) {
                    m_queue.erase(it);
                    break;
                }
        } else {
            m_queued.insert(pFile);
        }
        m_queue.push_front(pFile);
        while (m_queue.size() > kMaxQueued) {
            m_queued.erase(m_queue.back());
            m_queue.pop_back();
        }
    }
    m_cv.notify_all();
}

void CKivThumbnailer::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
    m_queued.clear();
}

void CKivThumbnailer::Pause() {
    std::unique_lock<std::mutex> lock(m_mutex);
    ++m_nPaused;
    m_cv.wait(lock, [this] { return !m_bBusy; });
}

void CKivThumbnailer::Resume() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_nPaused > 0) --m_nPaused;
    }
    m_cv.notify_all();
}

uint64_t CKivThumbnailer::Done() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDone;
}

void CKivThumbnailer::Run() {
    for (;;) {
        CKivUiNode* pFile = nullptr;
        {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_cv.wait(lock, [this] { return m_bStop || (!m_nPaused && !m_queue.empty()); });
            if (m_bStop) return;
            pFile = m_queue.front();
            m_queue.pop_front();
            m_queued.erase(pFile);
            m_bBusy = true;
        }
        std::string copy;
        Outcome outcome = Extract(pFile, &copy);
        if (m_fnDecode) m_fnDecode(pFile, outcome == OUT_FAILED ? std::string() : copy, outcome);
        if (!copy.empty()) KivRemoveFile(copy);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_bBusy = false;
            ++m_nDone;
        }
        m_cv.notify_all();
    }
}

CKivThumbnailer::Outcome CKivThumbnailer::Extract(CKivUiNode* pFile, std::string* pCopy) {
    IKivScanDev* pEngine = nullptr;
    CKivFileNodeMgr* pMgr = nullptr;
    if (!pFile->GetEngineNode() || pFile->GetSize() == 0 || pFile->GetSize() > kMaxBytes ||
        KivFailed(m_backstage.GetRecoverData(&pEngine, &pMgr)) || !pEngine || m_strFolder.empty())
        return OUT_FAILED;
    // The copies are files like any other the program writes: never onto the medium being read.
    const std::string& medium = m_backstage.GetScanMediumPath();
    if (medium != m_strJudged) {
        m_strJudged = medium;
        m_bFolderSafe = !CKivOutputGuard::Check(medium, m_strFolder, KivOutput::kPreview).bRefused &&
                        KivMakeDirs(m_strFolder);
    }
    if (!m_bFolderSafe) return OUT_FAILED;
    char name[40];
    std::snprintf(name, sizeof name, "/%p", static_cast<void*>(pFile));
    const char* pszDot = std::strrchr(pFile->GetName(), '.');
    std::string path = m_strFolder + name + (pszDot ? pszDot : "");
    CopyCallback cb(m_bStop);
    KivResult rc = pEngine->DoRecoverFile(pFile->GetEngineNode(), &cb, path.c_str());
    if (KivSucceeded(rc))
        do rc = pEngine->WaitForRecoverEnd(10);
        while (KivErrNo(rc) == KIV_E_TIMEOUT);
    if (KivIsFile(path)) *pCopy = path;
    if (KivFailed(rc) || cb.m_bFailed || pCopy->empty()) return OUT_FAILED;
    return cb.m_bDamaged ? OUT_DAMAGED : OUT_DONE;
}
