// VMware virtual disks through libvmdk: monolithic and split sparse disks, flat extents named by
// their descriptor, and a child disk read over its parent. Every extent file belongs to the image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivYalImage.h"

class CKivVmdkImage : public CKivYalImage {
public:
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

private:
    CKivVmdkImage();
    // Opens the descriptor (or sparse file) at strPath with its extents into a new handle.
    void* OpenOne(const std::string& strPath, std::vector<std::string>* pFiles, int* pnType, std::string* pWhy);
};
