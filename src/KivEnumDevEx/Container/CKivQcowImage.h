// QEMU copy-on-write images (QCOW version 1 to 3, unencrypted) through libqcow, read over their
// backing file when they have one.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"

class CKivQcowImage : public CKivContainer {
public:
    ~CKivQcowImage() override;
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, std::string* pWhy);
    static bool Available(std::string* pWhy);

protected:
    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;
    bool DoFindData(uint64_t nOffset, uint64_t* pData, uint64_t* pEnd) override;

private:
    std::vector<void*> m_chain;
    std::unique_ptr<class CKivAllocMap> m_pMap;
};
