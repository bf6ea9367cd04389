// Virtual hard disks (VHD fixed, dynamic and differencing; VHDX) through libvhdi. A differencing
// disk is read over its parent, found by the name it stores (beside it when the stored path is
// another machine's); the chain's files all belong to the image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivYalImage.h"

class CKivVhdiImage : public CKivYalImage {
public:
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

private:
    CKivVhdiImage();
};
