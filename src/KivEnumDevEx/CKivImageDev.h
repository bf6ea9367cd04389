// The image-device component: opens image files and block devices as sector stores.
#pragma once

#include "IKivDevStor.h"

#define KIV_IID_IMAGEDEV "IKivImageDev"

class CKivImageDev : public IKivImageDev {
public:
    KivResult OpenImage(const char* pszPath, uint32_t nSectorSize, IKivDevStor** ppStor) override;
    KivResult OpenImageFd(int fd, const char* pszName, uint32_t nSectorSize, IKivDevStor** ppStor) override;
    KivResult SetDevOpener(IKivDevOpener* pOpener) override;
};
