// EnCase images (E01, and Ex01 as far as libewf reads it) through libewf: the segment files .E01,
// .E02, ... found beside the first, the media's sector size, the stored MD5 and SHA-1, and the
// chunks whose checksum fails, which read as a damaged area.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"

class CKivEwfImage : public CKivContainer {
public:
    ~CKivEwfImage() override;
    // Null with *pWhy on failure: libewf missing, a segment missing, a damaged file.
    static std::unique_ptr<CKivContainer> Open(const std::string& strPath, bool bEx01, std::string* pWhy);
    // Whether libewf can be had here; *pWhy says why not.
    static bool Available(std::string* pWhy);

protected:
    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;
    bool DoDamaged(uint64_t nOffset, uint64_t nBytes, std::vector<std::pair<uint64_t, uint64_t>>* pOut) override;

private:
    void LearnDamage();

    void* m_pHandle = nullptr;
    uint32_t m_nErrorsSeen = 0;
    std::vector<std::pair<uint64_t, uint64_t>> m_damaged;  // [first, end) bytes
};
