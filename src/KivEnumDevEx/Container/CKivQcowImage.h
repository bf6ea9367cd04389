// QEMU copy-on-write images (QCOW version 1 to 3, unencrypted) through libqcow, read over their
// backing file when they have one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivYalImage.h"

class CKivQcowImage : public CKivYalImage {
public:
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

private:
    CKivQcowImage();
};
