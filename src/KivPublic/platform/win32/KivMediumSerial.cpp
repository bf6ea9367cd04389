// Windows back end: the storage descriptor of a physical drive or of a volume, through the seam.
#include "platform/KivMediumSerial.h"

#include "platform/KivWinDevApi.h"
#include "platform/KivWinIoctl.h"

std::string KivMediumSerial(const std::string& strPath) {
    if (strPath.rfind("\\\\.\\", 0) != 0) return {};  // a file: images have no serial
    IKivWinDevApi* pApi = KivWinDevApi();
    uint32_t err = 0;
    uint64_t h = pApi ? pApi->Open(strPath, &err) : 0;
    if (!h) return {};
    std::vector<uint8_t> a;
    KivWinStorageDesc d;
    bool ok = pApi->Ioctl(h, KIV_IOCTL_STORAGE_QUERY_PROPERTY, KivStorageDeviceQuery(), 4096, &a, &err) &&
              KivDecodeStorageDescriptor(a, &d);
    pApi->Close(h);
    return ok ? d.strSerial : std::string();
}
