// What the tree builders of the file systems keep alike: the device, carved-file list and caller
// they borrow, a cancel that holds once the caller asked for it, and a bound on what one build
// keeps.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

#include "IKivDevStor.h"
#include "IKivScanDev.h"

class CRawFileList;

class CKivTreeBuilderBase {
public:
    // A bound on the entries and folders one build keeps, so that a device full of look-alikes
    // cannot use up the memory; real volumes stay far below it.
    static constexpr uint64_t kMaxNodes = 20000000;

protected:
    // Everything is borrowed for the life of the builder; pRawList and pCallback may be null.
    // pszWho names the builder in the log.
    CKivTreeBuilderBase(const char* pszWho, IKivDevStor* pDev, CRawFileList* pRawList,
                        IKivEnumResFilesCallback* pCallback, uint32_t nNameBase)
        : m_pDev(pDev), m_pRawList(pRawList), m_pCallback(pCallback), m_nNameBase(nNameBase), m_pszWho(pszWho) {}

    // Asks the caller; once it said stop, the answer stays.
    bool Cancelled();
    // Counts one more node: false past kMaxNodes (said once in the log).
    bool NodeBudget();
    // The build's phase and its progress told to the caller, who may stop it so: false once
    // stopped.
    bool Phase(const char* pszName, uint64_t nTotal = 100);
    bool Progress(uint64_t nValue);
    // Takes the folders queued, live ones first (what a deleted folder once had belongs to the live
    // one that has it now), and hands each to walk, which may queue more; stops when cancelled.
    template <class TWork, class Fn>
    void WalkLiveFirst(std::deque<TWork>& live, std::deque<TWork>& deleted, Fn&& walk) {
        while (!Cancelled() && (!live.empty() || !deleted.empty())) {
            std::deque<TWork>& q = live.empty() ? deleted : live;
            TWork w = std::move(q.front());
            q.pop_front();
            walk(w);
        }
    }

    IKivDevStor* m_pDev;
    CRawFileList* m_pRawList;
    IKivEnumResFilesCallback* m_pCallback;
    uint32_t m_nNameBase;
    bool m_bCancelled = false;
    uint64_t m_nNodes = 0;  // entries and folders added, against kMaxNodes

private:
    const char* m_pszWho;
};
