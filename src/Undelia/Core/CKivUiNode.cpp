#include "CKivUiNode.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

const std::vector<CKivUiNode*> kNoChildren;

char* Duplicate(const char* psz) {
    size_t n = std::strlen(psz);
    char* p = new (std::nothrow) char[n + 1];
    if (p) std::memcpy(p, psz, n + 1);
    return p;
}

// Fixed-size blocks carved from large slabs, kept for reuse: no per-node allocation overhead.
// Sanitizer builds use the ordinary allocator, so that every node's use after its end is caught.
class NodePool {
public:
    void* Alloc() {
        std::lock_guard<std::mutex> g(m_lock);
        if (!m_pFree) {
            char* slab = static_cast<char*>(::operator new(kSlabNodes * kBlock, std::nothrow));
            if (!slab) return nullptr;
            for (size_t i = kSlabNodes; i-- > 0;) Push(slab + i * kBlock);
        }
        Block* b = m_pFree;
        m_pFree = b->pNext;
        return b;
    }
    void Free(void* p) {
        std::lock_guard<std::mutex> g(m_lock);
        Push(p);
    }

private:
    struct Block {
        Block* pNext;
    };
    static constexpr size_t kBlock = (sizeof(CKivUiNode) + alignof(CKivUiNode) - 1) / alignof(CKivUiNode) *
                                     alignof(CKivUiNode);
    static constexpr size_t kSlabNodes = 16384;
    void Push(void* p) {
        auto* b = static_cast<Block*>(p);
        b->pNext = m_pFree;
        m_pFree = b;
    }
    std::mutex m_lock;
    Block* m_pFree = nullptr;
};

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPooled = false;
#else
constexpr bool kPooled = true;
#endif

NodePool& Pool() {
    static NodePool* s_pool = new NodePool;  // never destroyed: nodes may outlive static objects
    return *s_pool;
}

}  // namespace

void* CKivUiNode::operator new(size_t nSize) {
    void* p = operator new(nSize, std::nothrow);
    if (!p) throw std::bad_alloc();
    return p;
}

void* CKivUiNode::operator new(size_t nSize, const std::nothrow_t&) noexcept {
    if (!kPooled || nSize != sizeof(CKivUiNode)) return ::operator new(nSize, std::nothrow);
    return Pool().Alloc();
}

void CKivUiNode::operator delete(void* p) noexcept {
    if (!p) return;
    if (kPooled)
        Pool().Free(p);
    else
        ::operator delete(p);
}

CKivUiNode::CKivUiNode(uint8_t nKind, IKivFileNode* pEngine) : m_nKind(nKind), m_pEngine(pEngine), m_pChildren(nullptr) {}

CKivUiNode* CKivUiNode::NewEngineNode(uint8_t nKind, IKivFileNode* pEngine) {
    auto* p = new (std::nothrow) CKivUiNode(nKind, pEngine);
    if (p && pEngine && pEngine->GetAttr()) p->SetNameBorrowed(pEngine->GetAttr()->GetName());
    return p;
}

CKivUiNode* CKivUiNode::NewFolder(uint8_t nKind, const std::string& strName) {
    auto* p = new (std::nothrow) CKivUiNode(nKind, nullptr);
    if (p) p->SetName(strName);
    return p;
}

CKivUiNode* CKivUiNode::Copy() const {
    auto* p = new (std::nothrow) CKivUiNode(m_nKind, m_pEngine);
    if (!p) return nullptr;
    p->m_nMarks = m_nMarks;
    if (p->IsFile()) p->m_pOrigin = Origin() ? Origin() : const_cast<CKivUiNode*>(this);
    if (m_bOwnName)
        p->SetName(m_pszName);
    else
        p->SetNameBorrowed(m_pszName);
    return p;
}

CKivUiNode::~CKivUiNode() {
    if (m_bOwnName) delete[] m_pszName;
    std::vector<CKivUiNode*>* kids = KidsOrNull();
    if (!kids) return;
    // Deep trees are taken apart without recursion.
    std::vector<CKivUiNode*> pending(kids->begin(), kids->end());
    delete kids;
    m_pChildren = nullptr;
    while (!pending.empty()) {
        CKivUiNode* p = pending.back();
        pending.pop_back();
        if (std::vector<CKivUiNode*>* k = p->KidsOrNull()) {
            pending.insert(pending.end(), k->begin(), k->end());
            delete k;
            p->m_pChildren = nullptr;
        }
        delete p;
    }
}

void CKivUiNode::SetNameBorrowed(const char* pszName) {
    if (m_bOwnName) delete[] m_pszName;
    m_bOwnName = 0;
    m_pszName = pszName ? pszName : "";
}

void CKivUiNode::SetName(const std::string& strName) {
    char* p = Duplicate(strName.c_str());
    if (!p) return;  // keeps the old name rather than none
    if (m_bOwnName) delete[] m_pszName;
    m_pszName = p;
    m_bOwnName = 1;
}

std::string CKivUiNode::GetPath() const {
    if (CKivUiNode* o = Origin()) return o->GetPath();
    // Names from the node up to (not including) the view's root.
    std::vector<const char*> names;
    for (const CKivUiNode* p = m_pParent; p && p->m_pParent; p = p->m_pParent) names.push_back(p->m_pszName);
    std::string out;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!**it) continue;
        if (!out.empty()) out += '/';
        out += *it;
    }
    return out;
}

std::string CKivUiNode::GetFullPath() const {
    std::string path = GetPath();
    if (!m_pParent && !Origin()) return path;  // a root has no place of its own
    if (!path.empty() && *m_pszName) path += '/';
    return path + m_pszName;
}

CKivUiNode* CKivUiNode::GetRoot() const {
    const CKivUiNode* p = this;
    while (p->m_pParent) p = p->m_pParent;
    return const_cast<CKivUiNode*>(p);
}

CKivUiNode* CKivUiNode::GetPartition() const {
    if (CKivUiNode* o = Origin()) return o->GetPartition();
    for (const CKivUiNode* p = this; p; p = p->m_pParent)
        if (p->m_nKind == KIND_PART) return const_cast<CKivUiNode*>(p);
    return nullptr;
}

const std::vector<CKivUiNode*>& CKivUiNode::GetChildren() const {
    std::vector<CKivUiNode*>* k = KidsOrNull();
    return k ? *k : kNoChildren;
}

std::vector<CKivUiNode*>& CKivUiNode::Kids() {
    if (!m_pChildren) m_pChildren = new std::vector<CKivUiNode*>();
    return *m_pChildren;
}

void CKivUiNode::AppendChild(CKivUiNode* pChild) {
    if (IsFile() || !pChild) return;
    Kids().push_back(pChild);
    pChild->m_pParent = this;
}

bool CKivUiNode::TakeChild(CKivUiNode* pChild) {
    std::vector<CKivUiNode*>* k = KidsOrNull();
    if (!k) return false;
    // Usually the one appended last.
    auto it = std::find(k->rbegin(), k->rend(), pChild);
    if (it == k->rend()) return false;
    k->erase(std::next(it).base());
    pChild->m_pParent = nullptr;
    return true;
}

void CKivUiNode::SetChildren(std::vector<CKivUiNode*>&& children) {
    if (IsFile()) return;
    Kids() = std::move(children);
    for (CKivUiNode* p : *m_pChildren) p->m_pParent = this;
}

void CKivUiNode::DeleteChild(size_t nIndex) {
    std::vector<CKivUiNode*>* k = KidsOrNull();
    if (!k || nIndex >= k->size()) return;
    CKivUiNode* p = (*k)[nIndex];
    k->erase(k->begin() + static_cast<std::ptrdiff_t>(nIndex));
    delete p;
}

uint64_t CKivUiNode::GetSize() const {
    IKivFileAttr* a = m_nKind == KIND_FILE ? GetAttr() : nullptr;
    return a ? a->GetSize() : 0;
}

uint64_t CKivUiNode::GetModificationTime() const {
    IKivFileAttr* a = GetAttr();
    return a && (a->GetValidFields() & KIV_VALID_MTIME) ? a->GetModificationTime() : 0;
}

uint64_t CKivUiNode::GetCreationTime() const {
    IKivFileAttr* a = GetAttr();
    return a && (a->GetValidFields() & KIV_VALID_CTIME) ? a->GetCreationTime() : 0;
}

uint8_t CKivUiNode::GetRecordState() const {
    IKivFileAttr* a = GetAttr();
    return a ? a->GetRecordState() : 0;
}

bool CKivUiNode::IsCarved() const {
    IKivFileAttr* a = GetAttr();
    return a && a->GetAttrKind() == KIV_ATTR_RAW;
}

bool CKivUiNode::IsLost() const {
    for (const CKivUiNode* p = this; p; p = p->m_pParent)
        if (p->m_nKind == KIND_DIR && !p->m_pEngine && p->IsMarkedDeleted()) return true;
    return false;
}

uint8_t CKivUiNode::GetLook() const {
    if (IsFile()) return IsCarved() || (GetRecordState() & KIV_REC_DELETED) || IsLost() ? LOOK_GONE : LOOK_PLAIN;
    if ((GetRecordState() & KIV_REC_DELETED) || IsLost()) return LOOK_GONE;
    // Marked for what lies below it: the folder itself is still on the volume.
    return IsMarkedDeleted() ? LOOK_HOLDS_GONE : LOOK_PLAIN;
}
