// The disk-image containers the device library opens (E01, VHD, VHDX, VMDK, QCOW2, split raw):
// what a given image file is, which files it is read from, and which formats this build lacks.
#pragma once

#include <cstdint>

#include "KivCommon.h"

// Error numbers of opening an image container (besides those of KivCommon.h).
constexpr uint32_t KIV_E_CONTAINER = 0x035;  // a container that cannot be read: a segment or parent
                                             // file missing, a damaged or cut-off header
constexpr uint32_t KIV_E_NOFORMAT = 0x036;   // a container format whose library this machine lacks

#define KIV_IID_IMAGEFORMATS "IKivImageFormats"

// What Describe fills (byte-packed, fixed widths; zero-filled first).
#pragma pack(push, 1)
struct KivImageInfo {
    char szFormat[24];      // "raw", "split raw", "E01", "Ex01", "VHD", "VHDX", "VMDK", "QCOW2"
    char szDetail[48];      // the kind inside the format ("dynamic", "3 segment files"), or empty
    uint64_t nBytes;        // the virtual disk
    uint32_t nSectorSize;   // its sector size as the container states it (512 when it states none)
    uint32_t nFiles;        // the files the disk is read from (segments, extents, parents)
    char szMd5[33];         // digests of the disk the container stores, lower-case hex, or empty
    char szSha1[41];
    char szWhy[512];        // when Describe fails: one line that says why
};
#pragma pack(pop)

class IKivImageFormats : public IKivCommon {
public:
    // Looks at the image file (or device) at pszPath without reading its data. On success *pInfo
    // describes the disk and pszFiles (when not null) receives the nFiles paths, each ending in a
    // NUL, the first one the given path; *pnFilesBytes (when not null) the bytes they need. A
    // device or a file that is no container is "raw", one file. Fails with KIV_E_CONTAINER,
    // KIV_E_NOFORMAT or the codes of IKivImageDev::OpenImage, with szWhy set.
    virtual KivResult Describe(const char* pszPath, KivImageInfo* pInfo, char* pszFiles, uint32_t nFilesSize,
                               uint32_t* pnFilesBytes) = 0;
    // One line per format, "E01/Ex01: yes" or "QCOW2: lacking (why)", into a buffer of nSize bytes;
    // *pnBytes (when not null) the bytes the text needs with its NUL.
    virtual KivResult ListFormats(char* pszOut, uint32_t nSize, uint32_t* pnBytes) = 0;
};
