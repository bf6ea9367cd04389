// ZIP content check (and the formats built on it): every member's local header, its data
// inflated or read to its stated sizes with its CRC-32, the central directory pointing at the
// members where they lie, and the end record.
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivZipCheck : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
};
