#include "Raw/KivRawTree.h"

// Replaced by the carved-files tree builder.
IKivFileNode* BuildRawTree(IIsClusterUsed*, IKivEnumResFilesCallback*, IKivDevStor*, CRawFileList*) {
    return nullptr;
}
