#include "KivNodeFactory.h"

#include <atomic>

#include "CKivFileAttrExFAT.h"
#include "CKivFileAttrExt.h"
#include "CKivFileAttrFAT.h"
#include "CKivFileAttrNTFS.h"
#include "CKivFileAttrRAW.h"
#include "CKivFileAttrRoot.h"
#include "CKivFileNode.h"
#include "CKivFsNode.h"

IKivFileNode* KivNewFileNode(IKivFileAttr* pAttr) { return new CKivFileNode(pAttr); }

IKivFsNode* KivNewFsNode(IKivFileAttr* pAttr) { return new CKivFsNode(pAttr); }

IKivFsNode* KivNewFsRoot() {
    auto* pAttr = new CKivFileAttrRoot();
    pAttr->SetName(KIV_NAME_ROOT);
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    return new CKivFsNode(pAttr);
}

CKivFileAttrBase* KivNewAttr(int nAttrKind) {
    switch (nAttrKind) {
        case KIV_ATTR_FAT: return new CKivFileAttrFAT();
        case KIV_ATTR_NTFS: return new CKivFileAttrNTFS();
        case KIV_ATTR_RAW: return new CKivFileAttrRAW();
        case KIV_ATTR_ROOT: return new CKivFileAttrRoot();
        case KIV_ATTR_EXFAT: return new CKivFileAttrExFAT();
        case KIV_ATTR_EXT: return new CKivFileAttrExt();
        default: return nullptr;
    }
}

IKivFileNode* KivNewDirNode(int nAttrKind, const char* pszName, uint8_t nRecordState) {
    CKivFileAttrBase* pAttr = KivNewAttr(nAttrKind);
    if (!pAttr) return nullptr;
    pAttr->SetName(pszName ? pszName : "");
    pAttr->SetAttributes(KIV_FA_DIRECTORY);
    pAttr->SetRecordState(nRecordState);
    return new CKivFileNode(pAttr);
}

IKivFileNode* KivNewLostDir(int nAttrKind, uint8_t nRecordState, int nIndex) {
    std::string name = KIV_NAME_LOST_DIR;
    if (nIndex > 0) name += std::to_string(nIndex);
    return KivNewDirNode(nAttrKind, name.c_str(), nRecordState);
}

std::string KivNextReconstructedDirName() {
    static std::atomic<uint32_t> s_nNext{1};
    return "Dir" + std::to_string(s_nNext.fetch_add(1));
}
