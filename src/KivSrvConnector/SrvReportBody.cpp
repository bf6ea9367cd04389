#include "SrvReportBody.h"

#include <cstdio>
#include <cstring>

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

// Bytes of the UTF-8 sequence led by c; 1 for a stray byte, which is encoded on its own.
size_t SequenceLength(unsigned char c) {
    if (c >= 0xF0 && c < 0xF8) return 4;
    if (c >= 0xE0) return c < 0xF0 ? 3 : 1;
    if (c >= 0xC0) return 2;
    return 1;
}

void PutLE(unsigned char* p, uint32_t v, int n) {
    for (int i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t GetLE(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

std::string KivGuidText(const KivProductBaseInfo& info) {
    char buf[40];
    const uint8_t* d = info.aGuidData4;
    std::snprintf(buf, sizeof(buf), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", info.nGuidData1,
                  info.nGuidData2, info.nGuidData3, d[0], d[1], d[2], d[3], d[4], d[5], d[6], d[7]);
    return buf;
}

std::string KivFormEncode(std::string_view text, size_t nMaxBytes) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        size_t len = SequenceLength(static_cast<unsigned char>(text[i]));
        if (len > text.size() - i) len = 1;
        for (size_t k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                len = 1;
                break;
            }
        }
        std::string piece;
        for (size_t k = 0; k < len; ++k) {
            auto c = static_cast<unsigned char>(text[i + k]);
            if (IsUnreserved(c)) {
                piece += static_cast<char>(c);
            } else {
                char esc[4];
                std::snprintf(esc, sizeof(esc), "%%%02X", c);
                piece += esc;
            }
        }
        if (piece.size() > nMaxBytes - out.size()) break;
        out += piece;
        i += len;
    }
    return out;
}

std::string KivBuildReportBody(const KivProductBaseInfo& info, const KivSrvMessage& msg) {
    char head[160];
    std::snprintf(head, sizeof(head), "guid=%s&productId=%d&edit=%d&vermajor=%d&verminor=%d&isString=%d&val=",
                  KivGuidText(info).c_str(), info.nProductId, info.nEdition, info.nVerMajor, info.nVerMinor,
                  msg.bIsString ? 1 : 0);
    char tail[24];
    std::snprintf(tail, sizeof(tail), "&type=%d", msg.nType);
    std::string body = head;
    if (msg.bIsString) {
        size_t textLen = ::strnlen(msg.szText, sizeof(msg.szText));
        size_t room = KIV_SRV_BODY_MAX - body.size() - std::char_traits<char>::length(tail);
        body += KivFormEncode(std::string_view(msg.szText, textLen), room);
    } else {
        body += std::to_string(msg.nValue);
    }
    return body + tail;
}

void KivBaseInfoToBytes(const KivProductBaseInfo& info, unsigned char out[32]) {
    PutLE(out, info.nGuidData1, 4);
    PutLE(out + 4, info.nGuidData2, 2);
    PutLE(out + 6, info.nGuidData3, 2);
    std::memcpy(out + 8, info.aGuidData4, 8);
    PutLE(out + 16, static_cast<uint32_t>(info.nProductId), 4);
    PutLE(out + 20, static_cast<uint32_t>(info.nEdition), 4);
    PutLE(out + 24, static_cast<uint32_t>(info.nVerMajor), 4);
    PutLE(out + 28, static_cast<uint32_t>(info.nVerMinor), 4);
}

KivProductBaseInfo KivBaseInfoFromBytes(const unsigned char in[32]) {
    KivProductBaseInfo info{};
    info.nGuidData1 = GetLE(in, 4);
    info.nGuidData2 = static_cast<uint16_t>(GetLE(in + 4, 2));
    info.nGuidData3 = static_cast<uint16_t>(GetLE(in + 6, 2));
    std::memcpy(info.aGuidData4, in + 8, 8);
    info.nProductId = static_cast<int32_t>(GetLE(in + 16, 4));
    info.nEdition = static_cast<int32_t>(GetLE(in + 20, 4));
    info.nVerMajor = static_cast<int32_t>(GetLE(in + 24, 4));
    info.nVerMinor = static_cast<int32_t>(GetLE(in + 28, 4));
    return info;
}
