#include "Analysers/KivVorbisComment.h"

#include <algorithm>

#include "Analysers/KivAnalyserBytes.h"
#include "KivByteReader.h"

std::string KivVorbisCommentTitle(std::span<const uint8_t> data) {
    KivByteReader r(data);
    uint64_t nVendor = r.U32At(0);
    if (nVendor > data.size() - std::min<size_t>(data.size(), 8)) return {};
    uint64_t pos = 4 + nVendor;
    uint32_t nCount = r.U32At(pos);
    pos += 4;
    for (uint32_t i = 0; i < nCount && i < 1000 && pos + 4 <= data.size(); ++i) {
        uint64_t nLen = r.U32At(pos);
        pos += 4;
        if (nLen > data.size() - pos) return {};
        if (nLen > 6 && KivBytesAtNoCase(data, pos, "TITLE=")) {
            std::string s(data.begin() + pos + 6, data.begin() + pos + std::min<uint64_t>(nLen, 106));
            return s;
        }
        pos += nLen;
    }
    return {};
}
