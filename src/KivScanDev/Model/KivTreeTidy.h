// The last pass of the file-system tree builders.
#pragma once

#include "KivScanResult.h"

// Removes (and releases) every deleted folder below pRoot that holds nothing, deepest first, so
// that a deleted folder holding only such folders goes as well.
void KivRemoveEmptyDeletedDirs(IKivFileNode* pRoot);
