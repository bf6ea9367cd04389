// What the image being read is when it is a container (E01, VHD, VMDK, ...): its format, the files
// its disk is read from (segments, extents, parent disks) and the digests it stores, asked of the
// device library. Every file listed belongs to the medium being read, so the output check refuses
// writing onto any of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class IKivDevStor;

struct KivImageDescription {
    bool bOk = false;
    std::string strWhy;     // when not bOk: why the image cannot be opened
    std::string strFormat;  // "raw", "E01", "VHD", ...
    std::string strDetail;  // "dynamic", "3 segment files", or empty
    uint64_t nBytes = 0;
    uint32_t nSectorSize = 512;
    std::vector<std::string> files;  // the path itself first
    std::string strMd5, strSha1;     // stored digests (lower-case hex), or empty
    // After Verify: 1 the disk read matches the stored digest, 0 it differs, -1 not checked or none stored.
    int nMd5Match = -1, nSha1Match = -1;

    bool IsContainer() const { return bOk && strFormat != "raw"; }
    // "E01 (3 segment files)", "raw".
    std::string FormatText() const { return strDetail.empty() ? strFormat : strFormat + " (" + strDetail + ")"; }
};

class CKivImageContainer {
public:
    // Asks the device library; a device library that cannot be loaded gives bOk false.
    static KivImageDescription Describe(const std::string& strPath);
    // The files the medium at strPath is read from: itself, and for a container every segment,
    // extent and parent. Remembered per path and size, so repeated checks cost nothing.
    static std::vector<std::string> Files(const std::string& strPath);
    // Reads the whole disk of pStor (the container's disk) and compares it with the digests the
    // container stores, setting nMd5Match and nSha1Match. Areas that cannot be read count as zeros,
    // so a damaged image does not match. False (with *pWhy) when nothing could be compared.
    static bool Verify(IKivDevStor* pStor, KivImageDescription* pDesc, std::string* pWhy);
    // The container formats this build reads and those it lacks, one line each.
    static std::string FormatsText();
};
