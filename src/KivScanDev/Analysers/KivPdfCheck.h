// PDF content check: the objects one after the other, each stream with the length its dictionary
// states (inflated when it is compressed), the cross-reference tables, and every offset they give
// landing on the object it names.
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivPdfCheck : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
};
