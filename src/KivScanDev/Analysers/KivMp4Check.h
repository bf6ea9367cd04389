// MP4 and QuickTime content check: the boxes (atoms) follow one another to the end of the file,
// and those that hold boxes hold a sound list of them. The media data itself is not checked.
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivMp4Check : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
    bool HasOpaqueData() const override { return true; }
};
