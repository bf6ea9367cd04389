// A floppy drive (/dev/fd0 for A:, /dev/fd1 for B:) read whole, read-only, through the bad-area
// reader.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "CKivSectorReader.h"
#include "IKivDevStor.h"

class CKivDevVol : public IKivDevStor {
public:
    // cLetter 'A' to 'Z' in either case; strDevPath the drive's device.
    CKivDevVol(char cLetter, std::string strDevPath);

    int ReadSectors(void* pBuf, uint64_t nFirst, uint64_t nCount) override;
    int ReadSectorsEx(void* pBuf, uint64_t nFirst, uint64_t nCount, uint32_t nFlags, KivBadRanges* pBad) override;
    int GetBadAreas(KivBadRanges* pOut) override;
    int AddBadAreas(const KivBadRanges& areas) override;
    uint64_t GetSectorCount() override { return m_nSectors; }
    uint32_t GetSectorSize() override { return m_nSectorSize ? m_nSectorSize : 512; }
    int Open() override;  // 1 when the drive could be opened (opening it is tried once)
    int Close() override;
    IKivDevStor* GetBaseStor() override { return nullptr; }

    char GetLetter() const { return m_cLetter; }
    // The media type of the medium in the drive, from its format; KIV_MEDIA_UNKNOWN when the
    // format is none of the floppy formats, KIV_MEDIA_NONE when the drive cannot be opened.
    uint32_t GetMediaType();
    const std::string& GetPath() const { return m_strPath; }

    // The floppy media type of a medium of nSectors 512-byte sectors (KIV_MEDIA_UNKNOWN otherwise).
    static uint32_t MediaTypeOfSectors(uint64_t nSectors);

protected:
    ~CKivDevVol() override;

private:
    char m_cLetter;
    std::string m_strPath;
    int m_fd = -1;
    uint32_t m_nSectorSize = 0;
    uint64_t m_nSectors = 0;
    CKivSectorReader m_reader;
};
