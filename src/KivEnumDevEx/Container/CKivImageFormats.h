// The image-format component: what an image file is and which formats this build lacks.
#pragma once

#include "IKivImageFormats.h"

class CKivImageFormats : public IKivImageFormats {
public:
    KivResult Describe(const char* pszPath, KivImageInfo* pInfo, char* pszFiles, uint32_t nFilesSize,
                       uint32_t* pnFilesBytes) override;
    KivResult ListFormats(char* pszOut, uint32_t nSize, uint32_t* pnBytes) override;
};
