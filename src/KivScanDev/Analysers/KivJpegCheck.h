// JPEG content check: the marker segments in order, and the entropy-coded data of every scan
// decoded to its end (sequential Huffman scans; other scans by their markers), with the restart
// markers in sequence and each restart interval holding exactly its number of units.
#pragma once

#include "Analysers/KivContentCheck.h"

class CKivJpegCheck : public IKivContentCheck {
public:
    KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                          std::vector<KivCheckPoint>* pPoints) override;
};
