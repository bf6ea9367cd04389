#include "Analysers/FileGZAnalyser.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "Analysers/CRawFileReader.h"
#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivAnalyserFactories.h"
#include "KivByteReader.h"
#include "Model/KivScanSettings.h"
#include "platform/KivPlatform.h"

namespace {

constexpr uint8_t kFlagExtra = 0x04, kFlagName = 0x08, kFlagComment = 0x10, kFlagReserved = 0xE0;
constexpr size_t kMaxName = 255;

// The original file name a member header carries (FNAME), without its folders; empty when none.
std::string MemberName(std::span<const uint8_t> head) {
    KivByteReader r(head);
    uint8_t nFlags = r.U8At(3);
    if (!(nFlags & kFlagName)) return {};
    size_t off = 10;
    if (nFlags & kFlagExtra) off += 2 + r.U16At(10);
    std::string name;
    for (; off < head.size() && head[off] != 0 && name.size() < kMaxName; ++off) name += char(head[off]);
    if (off >= head.size() || head[off] != 0) return {};  // not ended within the sector: no name
    size_t slash = name.find_last_of("/\\");
    return slash == std::string::npos ? name : name.substr(slash + 1);
}

bool IsMemberStart(std::span<const uint8_t> b) {
    return KivBytesAt(b, 0, "\x1F\x8B\x08") && b.size() > 3 && (b[3] & kFlagReserved) == 0;
}

}  // namespace

bool FileGZAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    return Claim(IsMemberStart(sector), pInfo, 29);
}

// A deflate stream does not state its length: it is inflated (into nothing) to find where it ends.
// zlib checks the trailer's CRC-32 and length before it answers the end of a member; members that
// follow one another directly are one file. A stream that is corrupt, cut short or still going at
// the size cap ends where it stopped, as a file whose end was not found.
bool FileGZAnalyser::Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) {
    const uint64_t nCap = KivScanSettings::Get().nMaxCarvedSize;
    CRawFileReader rd(pStor, pInfo->m_nStartSector);
    {
        uint8_t head[512];
        if (!rd.Read(0, head, sizeof head) || !IsMemberStart(head)) return false;
        m_strTitle = MemberName(head);
    }
    z_stream zs;
    std::memset(&zs, 0, sizeof zs);
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) return false;
    std::vector<uint8_t> sink(1 << 16);
    uint64_t pos = 0;       // file offset of the byte after what zlib was given
    uint64_t nEnd = 0;      // end of the last whole member
    bool bWhole = false;
    for (uint64_t nStep = 1;; ++nStep) {
        if (zs.avail_in == 0) {
            if (pos >= nCap) break;
            auto in = rd.Stream(pos, nCap - pos);
            if (in.empty()) break;  // cut short by the end of the data
            zs.next_in = const_cast<Bytef*>(in.data());
            zs.avail_in = static_cast<uInt>(in.size());
            pos += in.size();
        }
        zs.next_out = sink.data();
        zs.avail_out = static_cast<uInt>(sink.size());
        int ret = inflate(&zs, Z_NO_FLUSH);
        if (ret == Z_STREAM_END) {
            nEnd = pos - zs.avail_in;
            bWhole = true;
            uint8_t next[4];
            if (nEnd >= nCap || !rd.Read(nEnd, next, sizeof next) || !IsMemberStart(next)) break;
            // Another member follows: go on from its first byte.
            inflateReset(&zs);
            zs.avail_in = 0;
            pos = nEnd;
            bWhole = false;
            continue;
        }
        if (ret != Z_OK && ret != Z_BUF_ERROR) break;  // corrupt data
        if (ret == Z_BUF_ERROR && zs.avail_in != 0) break;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    uint64_t nReached = pos - zs.avail_in;
    inflateEnd(&zs);
    if (bWhole) {
        pInfo->m_nSize = nEnd;
    } else {
        pInfo->m_nSize = std::min(std::max(nReached, nEnd), nCap);
        pInfo->m_nDamage = kCarveEndNotFound;
        if (pInfo->m_nSize == 0) return false;
    }
    pInfo->m_strTitle = m_strTitle;
    return true;
}

IRawFileAnalyser* CreateFileGZAnalyser() { return new FileGZAnalyser; }
