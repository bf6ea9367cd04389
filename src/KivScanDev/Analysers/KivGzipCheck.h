// gzip content check: every member inflated to its end, with its CRC-32 and length (ISIZE).
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivGzipCheck : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
};
