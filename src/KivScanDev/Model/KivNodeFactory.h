// Ready-made nodes for the tree builders. Every function answers a new node with a reference count
// of 1 (the caller's); a node passed to AddChild gives that reference to its parent.
#pragma once

#include <string>

#include "KivScanResult.h"

class CKivFileAttrBase;

// A file or folder node owning pAttr (which may be null).
IKivFileNode* KivNewFileNode(IKivFileAttr* pAttr);
// A partition node owning pAttr; type 7 until SetFsType.
IKivFsNode* KivNewFsNode(IKivFileAttr* pAttr);
// The root of a result tree: a root attribute named "Root" with attributes 0x10.
IKivFsNode* KivNewFsRoot();
// A new, empty attribute of the given kind (KIV_ATTR_FAT, _NTFS, _RAW, _ROOT, _EXFAT or _EXT); null otherwise.
CKivFileAttrBase* KivNewAttr(int nAttrKind);
// A folder node: attribute of the given kind, attributes 0x10, the record state given.
IKivFileNode* KivNewDirNode(int nAttrKind, const char* pszName, uint8_t nRecordState = 0);
// The container of entries whose folder is unknown: "{D5603231-...}" followed by nIndex when
// nIndex > 0, attributes 0x10, the record state given.
IKivFileNode* KivNewLostDir(int nAttrKind, uint8_t nRecordState = KIV_REC_DELETED | KIV_REC_RECONSTRUCTED,
                            int nIndex = 0);
// The next "Dir%d" name for a reconstructed folder; the counter starts at 1 and runs for the life
// of the library (thread-safe).
std::string KivNextReconstructedDirName();
