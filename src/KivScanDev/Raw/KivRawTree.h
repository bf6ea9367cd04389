// Builds the carved-files subtree of a partition from the scan's carved-file records.
#pragma once

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "KivScanResult.h"

class CRawFileList;
class IIsClusterUsed;

// The folder node "{BE0BB444-...}" holding one folder per file type, or null when the subtree is
// switched off. pUsed (may be null) tells which sectors belong to files the file-system scanners
// found; those records are left out. pCallback may be null. The caller owns the returned node.
IKivFileNode* BuildRawTree(IIsClusterUsed* pUsed, IKivEnumResFilesCallback* pCallback, IKivDevStor* pDev,
                           CRawFileList* pList);
