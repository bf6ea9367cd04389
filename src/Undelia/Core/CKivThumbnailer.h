// Thumbnails of the pictures a scan found, made lazily on a worker thread of their own: the front
// end asks for the pictures it shows (the most recent ask first), the worker copies each one from
// the medium through the engine into a private folder, hands the copy to the front end's decoder
// (still on the worker) and deletes it. A picture the engine wrote with unreadable parts is
// handed on marked damaged; one that could not be copied is reported failed.
//
// The engine recovers one thing at a time: Pause() waits for the picture in hand before a preview,
// a recovery or a save uses it, and Resume() lets the worker go on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

class CDataBackstage;
class CKivFileNodeMgr;
class CKivUiNode;

class CKivThumbnailer {
public:
    // Files larger than this are not made into thumbnails (shown as too large).
    static constexpr uint64_t kMaxBytes = 64ull << 20;
    // How many asks are kept: those scrolled out of view long ago are dropped and asked again.
    static constexpr size_t kMaxQueued = 256;

    enum Outcome { OUT_DONE = 0, OUT_DAMAGED = 1, OUT_FAILED = 2 };
    // Called on the worker with the copy of the picture (empty for OUT_FAILED); answers whether it
    // could be decoded. Never called after the thumbnailer is destroyed.
    using DecodeFn = std::function<bool(CKivUiNode* pFile, const std::string& strCopy, Outcome outcome)>;

    CKivThumbnailer(CDataBackstage& backstage, DecodeFn fnDecode);
    ~CKivThumbnailer();
    CKivThumbnailer(const CKivThumbnailer&) = delete;
    CKivThumbnailer& operator=(const CKivThumbnailer&) = delete;

    // A picture by its name: the formats the front ends can decode.
    static bool IsPicture(const char* pszName);

    // Asks for the file's thumbnail (once: a file asked again while waiting moves to the front).
    void Request(CKivUiNode* pFile);
    // Drops every ask not yet begun (the views changed).
    void Clear();
    void Pause();
    void Resume();
    // Pictures handed to the decoder so far.
    uint64_t Done() const;
    // The folder the copies are made in; empty when none can be used (thumbnails then fail).
    std::string Folder() const { return m_strFolder; }

private:
    void Run();
    void ClearFolder();
    Outcome Extract(CKivUiNode* pFile, std::string* pCopy);

    CDataBackstage& m_backstage;
    DecodeFn m_fnDecode;
    std::string m_strFolder;
    std::string m_strJudged = "\n";  // the medium the folder was last judged against (worker only)
    bool m_bFolderSafe = false;
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<CKivUiNode*> m_queue;
    std::unordered_set<CKivUiNode*> m_queued;
    std::atomic<bool> m_bStop{false};
    int m_nPaused = 0;
    bool m_bBusy = false;
    uint64_t m_nDone = 0;
    std::thread m_thread;
};
