// One node of a display tree: a partition, folder or file of the engine's result tree (which it
// points back at), or a folder of the program's own ("Unknow path", the type categories, the
// numbered groups of large folders). A display tree owns its nodes: a parent destroys its children
// directly, and a view is let go by releasing its root. Names of engine nodes are borrowed from the
// engine's tree, which therefore outlives every view made of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "KivCommon.h"
#include "KivScanResult.h"

class CKivUiNode final : public IKivCommon {
public:
    enum : uint8_t { KIND_FILE = 0, KIND_DIR = 1, KIND_PART = 2, KIND_ROOT = 3 };
    enum : uint8_t { STATE_NONE = 0, STATE_TICKED = 1, STATE_PART = 2 };
    enum : uint8_t { MARK_DELETED = 0x01 };  // holds deleted or lost content
    // How the front ends draw a node: deleted, lost or carved content itself; a folder that is
    // still there but holds such content; or neither.
    enum : uint8_t { LOOK_PLAIN = 0, LOOK_GONE = 1, LOOK_HOLDS_GONE = 2 };

    // A node for an engine node, named like it (null when out of memory).
    static CKivUiNode* NewEngineNode(uint8_t nKind, IKivFileNode* pEngine);
    // A folder of the program's own.
    static CKivUiNode* NewFolder(uint8_t nKind, const std::string& strName);
    // The copy that another view hangs elsewhere: same kind, name, path, size and engine node;
    // unticked, without parent or children.
    CKivUiNode* Copy() const;

    uint8_t GetKind() const { return m_nKind; }
    bool IsFile() const { return m_nKind == KIND_FILE; }
    uint8_t GetState() const { return m_nState; }
    void SetState(uint8_t nState) { m_nState = nState; }
    uint8_t GetMarks() const { return m_nMarks; }
    void SetMark(uint8_t nMark) { m_nMarks |= nMark; }
    bool IsMarkedDeleted() const { return (m_nMarks & MARK_DELETED) != 0; }

    // UTF-8, never null.
    const char* GetName() const { return m_pszName; }
    void SetName(const std::string& strName);
    // The folder that holds the node, as the directory view shows it: "NTFS 1/Users/Ann" ("/"
    // between names; empty for the root and for what lies directly in it). A copy answers the path
    // of the node it was copied from.
    std::string GetPath() const;
    // GetPath joined with the name.
    std::string GetFullPath() const;

    CKivUiNode* GetParent() const { return m_pParent; }
    void SetParent(CKivUiNode* pParent) { m_pParent = pParent; }
    CKivUiNode* GetRoot() const;       // the topmost node of this view
    CKivUiNode* GetPartition() const;  // the partition node at or above, or null
    // Children in display order (empty for files).
    const std::vector<CKivUiNode*>& GetChildren() const;
    bool HasChildren() const { return !IsFile() && m_pChildren && !m_pChildren->empty(); }
    void AppendChild(CKivUiNode* pChild);  // takes ownership, sets the child's parent (not on files)
    // Hands the child back to the caller (its parent is cleared); false when it is not a child.
    bool TakeChild(CKivUiNode* pChild);
    // Replaces the children list (taking ownership of the new ones, not destroying the old ones).
    void SetChildren(std::vector<CKivUiNode*>&& children);
    // Destroys one child and its subtree.
    void DeleteChild(size_t nIndex);

    IKivFileNode* GetEngineNode() const { return m_pEngine; }
    IKivFileAttr* GetAttr() const { return m_pEngine ? m_pEngine->GetAttr() : nullptr; }
    // Files: the engine attribute's size; 0 for everything else.
    uint64_t GetSize() const;
    // Engine attribute values, 0 / empty without one.
    uint64_t GetModificationTime() const;
    uint64_t GetCreationTime() const;
    uint8_t GetRecordState() const;
    bool IsCarved() const;
    uint8_t GetLook() const;
    // A folder of the program's own for what lost its place (lost folders, carved files), or a
    // node inside one.
    bool IsLost() const;

    ~CKivUiNode() override;

    // Nodes come from a pool of their own: a view of a million files is a million of them.
    static void* operator new(size_t nSize);
    static void* operator new(size_t nSize, const std::nothrow_t&) noexcept;
    static void operator delete(void* p) noexcept;
    static void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }

private:
    CKivUiNode(uint8_t nKind, IKivFileNode* pEngine);
    void SetNameBorrowed(const char* pszName);
    CKivUiNode* Origin() const { return IsFile() ? m_pOrigin : nullptr; }
    std::vector<CKivUiNode*>* KidsOrNull() const { return IsFile() ? nullptr : m_pChildren; }
    std::vector<CKivUiNode*>& Kids();

    // Kept small: a million files make up to three million of these.
    uint8_t m_nKind;
    uint8_t m_nState = STATE_NONE;
    uint8_t m_nMarks = 0;
    uint8_t m_bOwnName = 0;
    IKivFileNode* m_pEngine;
    const char* m_pszName = "";
    CKivUiNode* m_pParent = nullptr;
    // Files have no children and only files are copied, so one field serves both: a file's
    // origin (the node it is a copy of, which gives its path; null for an original), everything
    // else's children.
    union {
        CKivUiNode* m_pOrigin;
        std::vector<CKivUiNode*>* m_pChildren;
    };
};
