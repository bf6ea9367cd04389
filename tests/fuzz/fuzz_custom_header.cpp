// User-defined file headers: the ".fhs" text (the input up to its first zero byte) read into a
// header, which is then matched against the sector that follows.
#include <algorithm>
#include <string_view>
#include <vector>

#include "Raw/CCustomHeader.h"
#include "Raw/CScriptProcess.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint8_t* zero = std::find(data, data + size, uint8_t(0));
    std::string_view text(reinterpret_cast<const char*>(data), size_t(zero - data));
    CScriptProcess script;
    script.OpenText(text);
    script.IsValid();
    for (size_t i = 0; i < 64 && script.GetLine(i); ++i) {
    }
    std::string ext;
    script.GetExtName(&ext);
    KivSignItem item;
    for (size_t cursor = 0, n = 0; n < 64 && script.NextSign(&cursor, &item); ++n) {
    }
    CCustomHeader header;
    if (header.LoadText(text)) {
        std::vector<uint8_t> sector(512, 0);
        if (zero != data + size) std::copy(zero + 1, zero + 1 + std::min<size_t>(512, data + size - zero - 1), sector.begin());
        header.Match(sector);
    }
    return 0;
}
