#include "Analysers/KivChunkWalk.h"

#include "platform/KivPlatform.h"

uint64_t KivWalkChunks(CRawFileReader& rd, uint64_t nFirst, size_t nHead, uint64_t nCap,
                       const std::function<uint64_t(std::span<const uint8_t>)>& fnLength) {
    uint64_t pos = nFirst;
    for (uint64_t nStep = 1; pos <= nCap; ++nStep) {
        auto h = rd.Window(pos, nHead);
        const uint64_t nLen = h.empty() ? 0 : fnLength(h);
        if (nLen == 0) break;
        pos += nLen;
        if (nStep % 10 == 0) KivPumpMessages();
    }
    return pos;
}
