// The device seam's system side: CreateFileW for reading only, DeviceIoControl, the drive letters.
#include <mutex>
#include <vector>

#include "KivWin32.h"
#include "platform/KivText.h"
#include "platform/KivWinDevApi.h"

namespace {

class CKivWinSystemDevApi : public IKivWinDevApi {
public:
    uint64_t Open(const std::string& strPath, uint32_t* pErr) override {
        // Reading only, always: the medium being recovered is never opened for writing.
        HANDLE h = CreateFileW(KivUtf8ToWide(strPath).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (pErr) *pErr = GetLastError();
            return 0;
        }
        return reinterpret_cast<uintptr_t>(h);
    }
    void Close(uint64_t h) override {
        if (h) CloseHandle(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h)));
    }
    bool Ioctl(uint64_t h, uint32_t nCode, const std::vector<uint8_t>& in, uint32_t nOutBytes,
               std::vector<uint8_t>* pOut, uint32_t* pErr) override {
        pOut->assign(nOutBytes, 0);
        DWORD n = 0;
        BOOL ok = DeviceIoControl(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(h)), nCode,
                                  in.empty() ? nullptr : const_cast<uint8_t*>(in.data()), static_cast<DWORD>(in.size()),
                                  pOut->data(), nOutBytes, &n, nullptr);
        if (!ok) {
            if (pErr) *pErr = GetLastError();
            pOut->clear();
            return false;
        }
        pOut->resize(n);
        return true;
    }
    std::vector<char> LogicalDrives() override {
        std::vector<char> out;
        DWORD mask = GetLogicalDrives();
        for (int i = 0; i < 26; ++i)
            if (mask & (1u << i)) out.push_back(static_cast<char>('A' + i));
        return out;
    }
    std::string QueryDosDevice(const std::string& strName) override {
        std::vector<wchar_t> buf(1024);
        DWORD n = QueryDosDeviceW(KivUtf8ToWide(strName).c_str(), buf.data(), static_cast<DWORD>(buf.size()));
        return n ? KivWideToUtf8(buf.data()) : std::string();
    }
};

}  // namespace

IKivWinDevApi* KivWinSystemDevApi() {
    static CKivWinSystemDevApi s_api;
    return &s_api;
}
