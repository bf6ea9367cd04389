// Virtual hard disks (VHD fixed, dynamic and differencing; VHDX) through libvhdi. A differencing
// disk is read over its parent, found by the name it stores (beside it when the stored path is
// another machine's); the chain's files all belong to the image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"

class CKivVhdiImage : public CKivContainer {
public:
    ~CKivVhdiImage() override;
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

protected:
    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;
    bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) override;

private:
    std::vector<void*> m_chain;  // the file, then its parents; freed in reverse
    std::unique_ptr<class CKivAllocMap> m_pMap;  // where the chain stores data, when known
};
