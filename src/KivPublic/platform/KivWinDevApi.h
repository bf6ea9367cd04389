// The Windows device calls the device back end makes, behind one thin seam: the system's calls in
// the Windows build, recorded answers of real disks in tests (on any platform). Answers are the
// raw output buffers of the device controls; KivWinIoctl.h decodes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Windows error codes the back end tells apart.
constexpr uint32_t KIV_WIN_ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t KIV_WIN_ERROR_ACCESS_DENIED = 5;
constexpr uint32_t KIV_WIN_ERROR_NOT_READY = 21;
constexpr uint32_t KIV_WIN_ERROR_INSUFFICIENT_BUFFER = 122;
constexpr uint32_t KIV_WIN_ERROR_MORE_DATA = 234;

class IKivWinDevApi {
public:
    virtual ~IKivWinDevApi() = default;
    // Opens a device ("\\.\PHYSICALDRIVE0", "\\.\C:") for reading only, sharing read and write.
    // A handle above 0, or 0 with *pErr.
    virtual uint64_t Open(const std::string& strPath, uint32_t* pErr) = 0;
    virtual void Close(uint64_t h) = 0;
    // One device control with the given input and an output buffer of nOutBytes: true with the
    // bytes returned, false with the error (KIV_WIN_ERROR_INSUFFICIENT_BUFFER when too small).
    virtual bool Ioctl(uint64_t h, uint32_t nCode, const std::vector<uint8_t>& in, uint32_t nOutBytes,
                       std::vector<uint8_t>* pOut, uint32_t* pErr) = 0;
    // Drive letters of the machine ("C", "D", ...), in letter order.
    virtual std::vector<char> LogicalDrives() = 0;
    // QueryDosDeviceW of a name such as "C:": the device it stands for; empty when none.
    virtual std::string QueryDosDevice(const std::string& strName) = 0;
};

// The seam in use: the system's (Windows) or none (elsewhere), unless a test set its own.
IKivWinDevApi* KivWinDevApi();
// Sets the seam (null: back to the system's). Not owned.
void KivSetWinDevApi(IKivWinDevApi* pApi);
