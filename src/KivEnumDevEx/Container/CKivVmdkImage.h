// VMware virtual disks through libvmdk: monolithic and split sparse disks, flat extents named by
// their descriptor, and a child disk read over its parent. Every extent file belongs to the image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"

class CKivVmdkImage : public CKivContainer {
public:
    ~CKivVmdkImage() override;
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

protected:
    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;
    bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) override;

private:
    // Opens the descriptor (or sparse file) at strPath with its extents into a new handle.
    static void* OpenOne(const std::string& strPath, std::vector<std::string>* pFiles, int* pnType, std::string* pWhy);

    std::vector<void*> m_chain;
    std::unique_ptr<class CKivAllocMap> m_pMap;
};
