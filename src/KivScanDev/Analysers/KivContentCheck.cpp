#include "Analysers/KivContentCheck.h"

#include "Analysers/KivAnalyserBytes.h"
#include "Analysers/KivGzipCheck.h"
#include "Analysers/KivJpegCheck.h"
#include "Analysers/KivMp4Check.h"
#include "Analysers/KivPdfCheck.h"
#include "Analysers/KivPngCheck.h"
#include "Analysers/KivZipCheck.h"

std::unique_ptr<IKivContentCheck> KivNewContentCheck(std::span<const uint8_t> head) {
    if (KivBytesAt(head, 0, "\xFF\xD8\xFF")) return std::make_unique<CKivJpegCheck>();
    if (KivBytesAt(head, 0, "\x89PNG\r\n\x1A\n")) return std::make_unique<CKivPngCheck>();
    if (KivBytesAt(head, 0, "PK\x03\x04")) return std::make_unique<CKivZipCheck>();
    if (KivBytesAt(head, 0, "%PDF-")) return std::make_unique<CKivPdfCheck>();
    if (KivBytesAt(head, 0, "\x1F\x8B\x08")) return std::make_unique<CKivGzipCheck>();
    if (KivBytesAt(head, 4, "ftyp") || KivBytesAt(head, 4, "moov") || KivBytesAt(head, 4, "mdat") ||
        KivBytesAt(head, 4, "wide"))
        return std::make_unique<CKivMp4Check>();
    return nullptr;
}

KivCheckVerdict KivCheckContent(std::span<const uint8_t> data) {
    auto p = KivNewContentCheck(data);
    return p ? p->Check(data, nullptr, nullptr) : KivCheckVerdict::Unchecked();
}
