// PNG content check: the chunks from the signature to IEND, each with its CRC-32, and the image
// data inflated across its IDAT chunks, so that a break inside a chunk is found near where it lies.
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivPngCheck : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
};
