// The display trees of a scan result. Out of the engine's tree (partitions, folders, files) the
// manager builds three views of CKivUiNode: the directory view (the engine's placeholder folders
// for lost directories and carved files gathered under "Unknow path"), the type view (files by
// category and extension, from "KivFileType.ini") and the filter view (the files that pass the
// result filter). Folders of the type and filter views that would hold more files than the
// configured limit are split into numbered groups. The manager also turns the ticks of a view into
// the engine's recover marks, and renames the placeholder folders in a destination afterwards.
//
// The manager takes no lock: one build or filter at a time, and the front end leaves the trees
// alone while IsBusy() (or its own filter worker runs).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "IKivUiSink.h"
#include "KivCommon.h"
#include "KivScanResult.h"

class CKivUiNode;
class CKivResultFilter;
struct KivFileTypeCategory;

class CKivFileNodeMgr {
public:
    static constexpr const char* kUnknownPath = "Unknow path";
    static constexpr const char* kLostDir = "Lost Dir";
    static constexpr const char* kTypeScan = "Type Scan";
    static constexpr const char* kRootName = "Root";
    static constexpr const char* kOthers = "Others";
    static constexpr uint32_t kDefaultMaxPerDir = 600;
    static constexpr uint32_t kDefaultGroup = 500;

    CKivFileNodeMgr() = default;
    ~CKivFileNodeMgr();
    CKivFileNodeMgr(const CKivFileNodeMgr&) = delete;
    CKivFileNodeMgr& operator=(const CKivFileNodeMgr&) = delete;

    // Keeps the engine's result root (taking the caller's reference: the manager releases it,
    // after its views). 0x004 when one is set, 0x002 for null.
    KivResult Init(IKivFsNode* pResultRoot);
    // Builds the directory and type views (any earlier views are released). 0x004 before Init,
    // 0x003 when the result root is no file-system node; a missing catalogue fails after the
    // directory view is in place.
    KivResult MakeUiNode(IKivProgressSink* pSink);

    KivResult MakeUiNodeRoot(CKivUiNode** ppRoot, IKivFsNode* pResultRoot);
    KivResult MakeUiNodeFile(CKivUiNode** ppNode, CKivUiNode* pParent, IKivFileNode* pEngine);
    // A folder of the program's own; with a parent it is appended to the parent's children.
    KivResult MakeUiNodeDir(const std::string& strName, CKivUiNode** ppNode, CKivUiNode* pParent);
    KivResult RecurPartNode(CKivUiNode* pPart, IKivFileNode* pEnginePart);
    KivResult RecurFileNode(CKivUiNode* pFolder, IKivFileNode* pEngineFolder);

    KivResult MakeUiNodeType();
    KivResult MakeUiNodeTypeDir(CKivUiNode* pTypeRoot, const KivFileTypeCategory& category);
    KivResult TidyFileNode2TypeUiNode(CKivUiNode* pTypeRoot);
    KivResult ClearTypeEmptyDir(CKivUiNode* pTypeRoot);
    KivResult ClearNoFileDir(CKivUiNode* pFolder, bool* pHasFile);
    KivResult CreateTypeExtChildDir(CKivUiNode* pTypeRoot);
    // Splits a folder of more than nLimit files into groups of nGroup, sorted by name ("1-500",
    // "501-1000", ..., the last one "1001" or "1001-1250"). 0x002 for null, nGroup 0 or
    // nLimit < nGroup; 0x003 when a child is not a file.
    static KivResult TidyDirIfFileTooMore(CKivUiNode* pFolder, uint32_t nLimit, uint32_t nGroup);

    // Builds the filter view anew (the previous one is destroyed): a copy of every file of the
    // directory view that the filter accepts, in directory order, under a new "Root".
    KivResult GetUiRootFilter(const CKivResultFilter& filter, CKivUiNode** ppRoot);
    // After a build or a filter that ended early (an exception on its worker): releases the views,
    // and with Reset the result root too, so that the next Init and build start afresh.
    void Reset();
    void DropFilterView();
    KivResult GetUiRootDir(CKivUiNode** ppRoot) const;
    KivResult GetUiRootType(CKivUiNode** ppRoot) const;
    CKivUiNode* GetUiRootFilterView() const { return m_pFilterRoot; }

    // Marks the ticked files of the view shown (and, as partly selected, their engine ancestors)
    // for recovery, after clearing every mark of the result tree.
    KivResult MakeSelectedFileNodeRoot(CKivUiNode* pShownRoot);
    static KivResult SetFileNodeAllStateChild(IKivFileNode* pNode, uint8_t nState);
    static KivResult SetFileNodeAllStateParent(IKivFileNode* pNode, uint8_t nState);
    static KivResult SetParentFlagRecur(CKivUiNode* pNode);

    // After a whole-partition recovery into pszFolder (the folder the engine created): moves the
    // placeholder folders into "Unknow path" as "Type Scan..." and "Lost Dir..." (all of them,
    // never over an existing entry). pMoved gets the new paths.
    KivResult AdjustDirPathAfterRecover(const std::string& strFolder, std::vector<std::string>* pMoved = nullptr,
                                        std::vector<std::pair<std::string, std::string>>* pRenamed = nullptr);

    bool IsBusy() const { return m_bBusy.load(); }
    IKivFsNode* GetResultRoot() const { return m_pResultRoot; }
    // The split limits; by default those of the user-interface configuration (section
    // "PanelFileRes": "MaxFileCountPerDir", "SplitFileCountPerIdr").
    void SetLimits(uint32_t nMaxPerDir, uint32_t nGroup);
    void GetLimits(uint32_t* pMaxPerDir, uint32_t* pGroup) const;

    const std::vector<CKivUiNode*>& DirList() const { return m_dirList; }
    const std::vector<CKivUiNode*>& TypeList() const { return m_typeList; }
    const std::vector<CKivUiNode*>& FilterList() const { return m_filterList; }

private:
    void ReleaseViews();
    void ReleaseFilterView();

    std::atomic<bool> m_bBusy{false};
    IKivProgressSink* m_pSink = nullptr;
    IKivFsNode* m_pResultRoot = nullptr;
    CKivUiNode* m_pDirRoot = nullptr;
    CKivUiNode* m_pTypeRoot = nullptr;
    CKivUiNode* m_pFilterRoot = nullptr;
    CKivUiNode* m_pOthers = nullptr;  // the type view's catch-all folder while it is built
    std::vector<CKivUiNode*> m_typeList, m_dirList, m_filterList;
    bool m_bTypePlaced = false;  // the type list's copies hang in a type view (which owns them)
    bool m_bLimitsSet = false;
    uint32_t m_nMaxPerDir = kDefaultMaxPerDir, m_nGroup = kDefaultGroup;
};
