#include "CKivFileNodeMgr.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "CKivIniLoaderFileType.h"
#include "CKivResultFilter.h"
#include "CKivUiConfig.h"
#include "CKivUiNode.h"
#include "KivLog.h"
#include "platform/KivFileUtil.h"
#include "platform/KivText.h"

namespace {

constexpr size_t kPrefixLen = 38;  // "{8-4-4-4-12}"
static_assert(sizeof(KIV_NAME_LOST_DIR) - 1 == kPrefixLen && sizeof(KIV_NAME_RAW_ROOT) - 1 == kPrefixLen);

bool HasPrefix(const char* pszName, const char* pszPrefix) {
    return std::strlen(pszName) >= kPrefixLen && KivStrNICmp(pszName, pszPrefix, kPrefixLen) == 0;
}

// An engine node's children in the order they were added (the engine keeps them newest first),
// which is the order the medium holds them in.
std::vector<IKivFileNode*> EngineChildren(IKivFileNode* pNode) {
    std::vector<IKivFileNode*> out;
    for (IKivFileNode* p = pNode->GetFirstChild(); p; p = p->GetNextSibling()) out.push_back(p);
    std::reverse(out.begin(), out.end());
    return out;
}

// The extension folder key of a name: the text after its last ".", lower case; empty when there
// is no dot or the dot ends the name.
std::string ExtKey(const char* pszName) {
    const char* dot = std::strrchr(pszName, '.');
    if (!dot || !dot[1]) return {};
    std::string s(dot + 1);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

}  // namespace

CKivFileNodeMgr::~CKivFileNodeMgr() {
    ReleaseViews();
    KivSafeRelease(m_pResultRoot);
}

void CKivFileNodeMgr::ReleaseFilterView() {
    KivSafeRelease(m_pFilterRoot);  // the copies of the filter list hang below it
    m_filterList.clear();
}

void CKivFileNodeMgr::ReleaseViews() {
    ReleaseFilterView();
    KivSafeRelease(m_pDirRoot);
    KivSafeRelease(m_pTypeRoot);
    // Copies that never reached the type view are owned by the list alone.
    if (!m_bTypePlaced)
        for (CKivUiNode* p : m_typeList) delete p;
    m_bTypePlaced = false;
    m_typeList.clear();
    m_dirList.clear();
}

void CKivFileNodeMgr::Reset() {
    ReleaseViews();
    KivSafeRelease(m_pResultRoot);
    m_pOthers = nullptr;
    m_bBusy = false;
}

void CKivFileNodeMgr::DropFilterView() {
    ReleaseFilterView();
    m_bBusy = false;
}

KivResult CKivFileNodeMgr::Init(IKivFsNode* pResultRoot) {
    if (m_pResultRoot) return KIV_RETERR(KIV_E_INITSTATE);
    if (!pResultRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    m_pResultRoot = pResultRoot;
    return KIV_OK;
}

void CKivFileNodeMgr::SetLimits(uint32_t nMaxPerDir, uint32_t nGroup) {
    m_nMaxPerDir = nMaxPerDir;
    m_nGroup = nGroup;
    m_bLimitsSet = true;
}

void CKivFileNodeMgr::GetLimits(uint32_t* pMaxPerDir, uint32_t* pGroup) const {
    uint32_t nMax = m_nMaxPerDir, nGroup = m_nGroup;
    if (!m_bLimitsSet) {
        const CKivUiConfig& cfg = CKivUiConfig::Get();
        nMax = static_cast<uint32_t>(cfg.GetInt("PanelFileRes", "MaxFileCountPerDir", kDefaultMaxPerDir));
        nGroup = static_cast<uint32_t>(cfg.GetInt("PanelFileRes", "SplitFileCountPerIdr", kDefaultGroup));
    }
    if (pMaxPerDir) *pMaxPerDir = nMax;
    if (pGroup) *pGroup = nGroup;
}

KivResult CKivFileNodeMgr::MakeUiNode(IKivProgressSink* pSink) {
    if (!m_pResultRoot) return KIV_RETERR(KIV_E_INITSTATE);
    if (!m_pResultRoot->IsFsNode()) return KIV_RETERR(KIV_E_STATE);
    m_pSink = pSink;
    if (m_pSink) m_pSink->OnViewsStart();
    ReleaseViews();
    m_bBusy = true;

    KivResult rc = KIV_OK;
    CKivUiNode* pRoot = nullptr;
    if (KivSucceeded(rc = MakeUiNodeRoot(&pRoot, m_pResultRoot))) {
        // Even a partial tree is kept, so what was built can still be shown (or released).
        m_pDirRoot = pRoot;
        for (IKivFileNode* pPart : EngineChildren(m_pResultRoot)) {
            if (pPart->IsFsNode() != 1) continue;
            CKivUiNode* pNode = nullptr;
            if (KivFailed(rc = MakeUiNodeFile(&pNode, pRoot, pPart))) break;
            if (KivFailed(rc = RecurPartNode(pNode, pPart))) break;
        }
    }
    if (KivSucceeded(rc)) {
        CKivIniLoaderFileType& cat = CKivIniLoaderFileType::Get();
        if (KivSucceeded(rc = cat.GetConfigFilePath("KivFileType.ini")) && KivSucceeded(rc = cat.LoadFileTypeIni()))
            rc = MakeUiNodeType();
    }
    if (m_pSink) m_pSink->OnViewsEnd(rc);
    m_bBusy = false;
    return rc;
}

KivResult CKivFileNodeMgr::MakeUiNodeRoot(CKivUiNode** ppRoot, IKivFsNode* pResultRoot) {
    if (!ppRoot || !pResultRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivUiNode* p = CKivUiNode::NewEngineNode(CKivUiNode::KIND_ROOT, pResultRoot);
    if (!p) return KIV_RETERR(KIV_E_NOOBJ);
    p->SetName("");  // the view's top shows no name of its own
    *ppRoot = p;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::MakeUiNodeFile(CKivUiNode** ppNode, CKivUiNode* pParent, IKivFileNode* pEngine) {
    if (!ppNode || !pParent || !pEngine) return KIV_RETERR(KIV_E_INVALIDARG);
    IKivFileAttr* pAttr = pEngine->GetAttr();
    if (!pAttr) return KIV_RETERR(KIV_E_NOOBJ);
    uint8_t nKind = pParent->GetKind() == CKivUiNode::KIND_ROOT ? CKivUiNode::KIND_PART
                    : (pAttr->GetAttributes() & KIV_FA_DIRECTORY) ? CKivUiNode::KIND_DIR
                                                                  : CKivUiNode::KIND_FILE;
    CKivUiNode* p = CKivUiNode::NewEngineNode(nKind, pEngine);
    if (!p) return KIV_RETERR(KIV_E_NOOBJ);
    pParent->AppendChild(p);
    if (nKind == CKivUiNode::KIND_FILE) {
        if (KivResult rc = SetParentFlagRecur(p); KivFailed(rc)) return rc;
        CKivUiNode* pCopy = p->Copy();
        if (!pCopy) return KIV_RETERR(KIV_E_NOOBJ);
        m_typeList.push_back(pCopy);
        m_dirList.push_back(p);
    }
    *ppNode = p;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::MakeUiNodeDir(const std::string& strName, CKivUiNode** ppNode, CKivUiNode* pParent) {
    if (!ppNode) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivUiNode* p = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, strName);
    if (!p) return KIV_RETERR(KIV_E_NOOBJ);
    if (pParent) pParent->AppendChild(p);
    *ppNode = p;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::SetParentFlagRecur(CKivUiNode* pNode) {
    IKivFileAttr* pAttr = pNode ? pNode->GetAttr() : nullptr;
    if (!pAttr) return KIV_RETERR(KIV_E_STATE);
    if ((pAttr->GetRecordState() & 0x1F) == 0) return KIV_OK;
    // Every folder above (the view's top excepted) shows that it holds deleted content.
    for (CKivUiNode* p = pNode->GetParent(); p && p->GetParent(); p = p->GetParent()) p->SetMark(CKivUiNode::MARK_DELETED);
    return KIV_OK;
}

KivResult CKivFileNodeMgr::RecurPartNode(CKivUiNode* pPart, IKivFileNode* pEnginePart) {
    if (!pPart || !pEnginePart) return KIV_RETERR(KIV_E_INVALIDARG);
    std::vector<CKivUiNode*> lost, carved;
    for (IKivFileNode* pChild : EngineChildren(pEnginePart)) {
        CKivUiNode* pNode = nullptr;
        if (KivResult rc = MakeUiNodeFile(&pNode, pPart, pChild); KivFailed(rc)) return rc;
        bool bCarved = HasPrefix(pNode->GetName(), KIV_NAME_RAW_ROOT);
        if (bCarved || HasPrefix(pNode->GetName(), KIV_NAME_LOST_DIR)) {
            pNode->SetName(pNode->GetName() + kPrefixLen);
            pPart->TakeChild(pNode);
            pNode->SetParent(pPart);  // until it moves under "Unknow path": its files mark the partition
            pNode->SetMark(CKivUiNode::MARK_DELETED);
            // Every placeholder is kept: dropping an earlier one would hide its files.
            (bCarved ? carved : lost).push_back(pNode);
        }
        if (pNode->GetKind() == CKivUiNode::KIND_DIR)
            if (KivResult rc = RecurFileNode(pNode, pChild); KivFailed(rc)) return rc;
    }
    if (lost.empty() && carved.empty()) return KIV_OK;
    CKivUiNode* pUnknown = nullptr;
    if (KivResult rc = MakeUiNodeDir(kUnknownPath, &pUnknown, pPart); KivFailed(rc)) return rc;
    pUnknown->SetMark(CKivUiNode::MARK_DELETED);
    for (CKivUiNode* p : lost) {
        p->SetName(std::string(kLostDir) + p->GetName());
        pUnknown->AppendChild(p);
    }
    for (CKivUiNode* p : carved) {
        p->SetName(std::string(kTypeScan) + p->GetName());
        pUnknown->AppendChild(p);
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::RecurFileNode(CKivUiNode* pFolder, IKivFileNode* pEngineFolder) {
    if (!pFolder || !pEngineFolder) return KIV_RETERR(KIV_E_INVALIDARG);
    // Depth first in the engine's order, without recursion: hostile trees may be deep.
    struct Frame {
        CKivUiNode* pUi;
        std::vector<IKivFileNode*> kids;
        size_t i;
    };
    std::vector<Frame> stack;
    stack.push_back({pFolder, EngineChildren(pEngineFolder), 0});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.i == f.kids.size()) {
            stack.pop_back();
            continue;
        }
        IKivFileNode* pChild = f.kids[f.i++];
        CKivUiNode* pNode = nullptr;
        if (KivResult rc = MakeUiNodeFile(&pNode, f.pUi, pChild); KivFailed(rc)) return rc;
        if (pNode->GetKind() == CKivUiNode::KIND_DIR) stack.push_back({pNode, EngineChildren(pChild), 0});
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::MakeUiNodeType() {
    CKivUiNode* pRoot = nullptr;
    if (KivResult rc = MakeUiNodeDir(kRootName, &pRoot, nullptr); KivFailed(rc)) return rc;
    KivResult rc = KIV_OK;
    for (const KivFileTypeCategory& c : CKivIniLoaderFileType::Get().Categories())
        if (KivFailed(rc = MakeUiNodeTypeDir(pRoot, c))) break;
    if (KivSucceeded(rc)) rc = MakeUiNodeDir(kOthers, &m_pOthers, pRoot);
    if (KivSucceeded(rc)) rc = TidyFileNode2TypeUiNode(pRoot);
    if (KivSucceeded(rc)) rc = ClearTypeEmptyDir(pRoot);
    if (KivSucceeded(rc)) rc = CreateTypeExtChildDir(pRoot);
    m_pOthers = nullptr;
    if (KivFailed(rc)) {
        // Placed copies go with the tree; unplaced ones stay the list's until the next release.
        pRoot->Release();
        if (m_bTypePlaced) m_typeList.clear();
        m_bTypePlaced = false;
        return rc;
    }
    m_pTypeRoot = pRoot;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::MakeUiNodeTypeDir(CKivUiNode* pTypeRoot, const KivFileTypeCategory& category) {
    if (!pTypeRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    CKivUiNode* pCat = nullptr;
    if (KivResult rc = MakeUiNodeDir(category.name, &pCat, pTypeRoot); KivFailed(rc)) return rc;
    for (const std::string& e : category.exts) {
        CKivUiNode* pExt = nullptr;
        if (KivResult rc = MakeUiNodeDir(e, &pExt, pCat); KivFailed(rc)) return rc;
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::TidyFileNode2TypeUiNode(CKivUiNode* pTypeRoot) {
    if (!pTypeRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    const auto& cats = CKivIniLoaderFileType::Get().Categories();
    const auto& top = pTypeRoot->GetChildren();
    if (top.size() != cats.size() + 1) return KIV_RETERR(KIV_E_STATE);
    CKivUiNode* pOthers = top.back();
    std::unordered_map<std::string, CKivUiNode*> byExt;
    for (size_t i = 0; i < cats.size(); ++i) {
        const auto& folders = top[i]->GetChildren();
        for (size_t j = 0; j < cats[i].exts.size(); ++j) {
            if (j >= folders.size()) return KIV_RETERR(KIV_E_STATE);
            byExt.emplace(cats[i].exts[j], folders[j]);  // an extension listed twice goes to its first place
        }
    }
    for (CKivUiNode* p : m_typeList) {
        std::string ext = ExtKey(p->GetName());
        auto it = ext.empty() ? byExt.end() : byExt.find(ext);
        (it == byExt.end() ? pOthers : it->second)->AppendChild(p);
    }
    m_bTypePlaced = true;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::ClearNoFileDir(CKivUiNode* pFolder, bool* pHasFile) {
    if (!pFolder || !pHasFile) return KIV_RETERR(KIV_E_INVALIDARG);
    // The type view is a few levels deep by construction, so plain recursion is safe here.
    bool bAny = false;
    const auto& kids = pFolder->GetChildren();
    for (size_t i = kids.size(); i-- > 0;) {
        CKivUiNode* c = kids[i];
        if (c->IsFile()) {
            bAny = true;
            continue;
        }
        bool bSub = false;
        if (KivResult rc = ClearNoFileDir(c, &bSub); KivFailed(rc)) return rc;
        if (bSub)
            bAny = true;
        else
            pFolder->DeleteChild(i);
    }
    *pHasFile = bAny;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::ClearTypeEmptyDir(CKivUiNode* pTypeRoot) {
    if (!pTypeRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    const auto& top = pTypeRoot->GetChildren();
    for (size_t i = top.size(); i-- > 0;) {
        bool bHas = false;
        if (KivResult rc = ClearNoFileDir(top[i], &bHas); KivFailed(rc)) return rc;
        if (!bHas) {
            if (top[i] == m_pOthers) m_pOthers = nullptr;
            pTypeRoot->DeleteChild(i);
        }
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::CreateTypeExtChildDir(CKivUiNode* pTypeRoot) {
    if (!pTypeRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    uint32_t nMax = 0, nGroup = 0;
    GetLimits(&nMax, &nGroup);
    for (CKivUiNode* pCat : pTypeRoot->GetChildren()) {
        if (pCat == m_pOthers) continue;
        for (CKivUiNode* pExt : pCat->GetChildren())
            if (KivResult rc = TidyDirIfFileTooMore(pExt, nMax, nGroup); KivFailed(rc)) return rc;
    }
    if (m_pOthers && m_pOthers->GetChildren().size() > nMax)
        if (KivResult rc = TidyDirIfFileTooMore(m_pOthers, nMax, nGroup); KivFailed(rc)) return rc;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::TidyDirIfFileTooMore(CKivUiNode* pFolder, uint32_t nLimit, uint32_t nGroup) {
    if (!pFolder || nGroup == 0 || nLimit < nGroup) return KIV_RETERR(KIV_E_INVALIDARG);
    const auto& kids = pFolder->GetChildren();
    if (kids.size() <= nLimit) return KIV_OK;
    for (CKivUiNode* c : kids)
        if (!c->IsFile()) return KIV_RETERR(KIV_E_STATE);

    // By name without regard to case, equal names in their old order. Entries whose name is not
    // valid keep their order after the named ones (a comparison that calls them equal to
    // everything would not be an order). The first sixteen letters, folded and packed, decide
    // most comparisons of a large folder at once.
    struct Key {
        uint64_t nHigh, nLow;
        uint32_t nIndex;
    };
    std::vector<Key> named;
    std::vector<CKivUiNode*> unnamed;
    named.reserve(kids.size());
    for (size_t i = 0; i < kids.size(); ++i) {
        IKivFileAttr* a = kids[i]->GetAttr();
        if (!a || !(a->GetValidFields() & 0x01)) {
            unnamed.push_back(kids[i]);
            continue;
        }
        const char* psz = a->GetName();
        uint64_t w[2] = {0, 0};
        bool bEnd = false;
        for (int j = 0; j < 16; ++j) {
            unsigned char c = bEnd ? 0 : static_cast<unsigned char>(psz[j]);
            bEnd = bEnd || c == 0;
            if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + 32);
            w[j / 8] = w[j / 8] << 8 | c;
        }
        named.push_back({w[0], w[1], static_cast<uint32_t>(i)});
    }
    std::sort(named.begin(), named.end(), [&kids](const Key& x, const Key& y) {
        if (x.nHigh != y.nHigh) return x.nHigh < y.nHigh;
        if (x.nLow != y.nLow) return x.nLow < y.nLow;
        int c = KivStrICmp(kids[x.nIndex]->GetAttr()->GetName(), kids[y.nIndex]->GetAttr()->GetName());
        return c != 0 ? c < 0 : x.nIndex < y.nIndex;
    });
    std::vector<CKivUiNode*> sorted;
    sorted.reserve(kids.size());
    for (const Key& k : named) sorted.push_back(kids[k.nIndex]);
    sorted.insert(sorted.end(), unnamed.begin(), unnamed.end());
    std::vector<Key>().swap(named);

    size_t n = sorted.size();
    std::vector<CKivUiNode*> groups;
    for (size_t first = 0; first < n; first += nGroup) {
        size_t last = std::min(n, first + nGroup);
        char name[48];
        if (last - first == 1)
            std::snprintf(name, sizeof name, "%zu", first + 1);
        else
            std::snprintf(name, sizeof name, "%zu-%zu", first + 1, last);
        CKivUiNode* g = CKivUiNode::NewFolder(CKivUiNode::KIND_DIR, name);
        if (!g) {
            for (CKivUiNode* p : groups) {
                p->SetChildren({});
                delete p;
            }
            return KIV_RETERR(KIV_E_NOOBJ);
        }
        g->SetChildren(std::vector<CKivUiNode*>(sorted.begin() + static_cast<std::ptrdiff_t>(first),
                                                sorted.begin() + static_cast<std::ptrdiff_t>(last)));
        groups.push_back(g);
    }
    pFolder->SetChildren(std::move(groups));
    return KIV_OK;
}

KivResult CKivFileNodeMgr::GetUiRootFilter(const CKivResultFilter& filter, CKivUiNode** ppRoot) {
    if (!ppRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    ReleaseFilterView();
    if (KivResult rc = MakeUiNodeDir(kRootName, &m_pFilterRoot, nullptr); KivFailed(rc)) return rc;
    CKivUiNode* pRoot = m_pFilterRoot;  // held from the start, so that a build cut short is released
    m_bBusy = true;
    KivResult rc = KIV_OK;
    for (CKivUiNode* p : m_dirList) {
        if (!filter.Accepts(p->GetEngineNode())) continue;
        CKivUiNode* pCopy = p->Copy();
        if (!pCopy) {
            rc = KIV_RETERR(KIV_E_NOOBJ);
            break;
        }
        pRoot->AppendChild(pCopy);
        m_filterList.push_back(pCopy);
    }
    uint32_t nMax = 0, nGroup = 0;
    GetLimits(&nMax, &nGroup);
    if (KivSucceeded(rc)) rc = TidyDirIfFileTooMore(pRoot, nMax, nGroup);
    m_bBusy = false;
    if (KivFailed(rc)) {
        ReleaseFilterView();
        return rc;
    }
    *ppRoot = pRoot;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::GetUiRootDir(CKivUiNode** ppRoot) const {
    if (ppRoot) *ppRoot = m_pDirRoot;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::GetUiRootType(CKivUiNode** ppRoot) const {
    if (ppRoot) *ppRoot = m_pTypeRoot;
    return KIV_OK;
}

KivResult CKivFileNodeMgr::SetFileNodeAllStateChild(IKivFileNode* pNode, uint8_t nState) {
    if (!pNode) return KIV_RETERR(KIV_E_INVALIDARG);
    std::vector<IKivFileNode*> pending;
    for (IKivFileNode* c = pNode->GetFirstChild(); c; c = c->GetNextSibling()) pending.push_back(c);
    while (!pending.empty()) {
        IKivFileNode* p = pending.back();
        pending.pop_back();
        if (IKivFileAttr* a = p->GetAttr()) a->SetCheckState(nState);
        for (IKivFileNode* c = p->GetFirstChild(); c; c = c->GetNextSibling()) pending.push_back(c);
    }
    IKivFileAttr* a = pNode->GetAttr();
    if (!a) return KIV_RETERR(KIV_E_STATE);
    a->SetCheckState(nState);
    return KIV_OK;
}

KivResult CKivFileNodeMgr::SetFileNodeAllStateParent(IKivFileNode* pNode, uint8_t nState) {
    if (!pNode) return KIV_RETERR(KIV_E_INVALIDARG);
    for (IKivFileNode* p = pNode->GetParent(); p; p = p->GetParent()) {
        IKivFileAttr* a = p->GetAttr();
        if (!a) continue;
        if (a->GetCheckState() == nState) break;  // the rest of the way up is marked already
        a->SetCheckState(nState);
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::MakeSelectedFileNodeRoot(CKivUiNode* pShownRoot) {
    if (!pShownRoot) return KIV_RETERR(KIV_E_INVALIDARG);
    if (!m_pResultRoot) return KIV_RETERR(KIV_E_INITSTATE);
    if (KivResult rc = SetFileNodeAllStateChild(m_pResultRoot, KIV_CHECK_NONE); KivFailed(rc)) return rc;
    const std::vector<CKivUiNode*>& list = pShownRoot == m_pFilterRoot ? m_filterList
                                           : pShownRoot == m_pTypeRoot ? m_typeList
                                                                       : m_dirList;
    for (CKivUiNode* p : list) {
        IKivFileNode* e = p->GetEngineNode();
        IKivFileAttr* a = e ? e->GetAttr() : nullptr;
        if (p->GetState() == CKivUiNode::STATE_NONE || !a) continue;
        a->SetCheckState(KIV_CHECK_FULL);
        SetFileNodeAllStateParent(e, KIV_CHECK_PART);
    }
    return KIV_OK;
}

KivResult CKivFileNodeMgr::AdjustDirPathAfterRecover(const std::string& strFolder, std::vector<std::string>* pMoved,
                                                    std::vector<std::pair<std::string, std::string>>* pRenamed) {
    if (strFolder.empty()) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string dir = strFolder;
    if (dir.back() != '/') dir += '/';
    std::vector<std::string> names;
    if (!KivListDir(dir, &names)) return KIV_RETERR(KIV_E_IO);
    struct Move {
        std::string from, to;
    };
    std::vector<Move> moves;
    for (const std::string& strName : names) {
        const char* name = strName.c_str();
        bool bCarved = HasPrefix(name, KIV_NAME_RAW_ROOT);
        if (!bCarved && !HasPrefix(name, KIV_NAME_LOST_DIR)) continue;
        moves.push_back({name, std::string(bCarved ? kTypeScan : kLostDir) + (name + kPrefixLen)});
    }
    if (moves.empty()) return KIV_OK;
    std::sort(moves.begin(), moves.end(), [](const Move& a, const Move& b) { return a.from < b.from; });

    std::string target = dir + kUnknownPath;
    if (!KivMakeDir(target) && !KivIsDir(target)) return KIV_RETERR(KIV_E_IO);
    KivResult rc = KIV_OK;
    for (const Move& m : moves) {
        // Never over what is there already: a folder of that name may hold recovered files.
        std::string to = target + "/" + m.to;
        for (int i = 0; KivPathExists(to) && i < 1000; ++i) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, "_%03d", i);
            to = target + "/" + m.to + suffix;
        }
        if (KivPathExists(to) || !KivRenamePath(dir + m.from, to)) {
            rc = KIV_RETERR(KIV_E_IO);
            continue;
        }
        if (pMoved) pMoved->push_back(to);
        if (pRenamed) pRenamed->emplace_back(dir + m.from, to);
    }
    return rc;
}
