// A simple volume: one extent (read like a spanned volume of one piece). It keeps the names the
// platform's drive-letter lookup would use.
#pragma once

#include <string>

#include "Ldm/CKivVolDynSpan.h"

class CKivVolDynSimp : public CKivVolDynSpan {
public:
    CKivVolDynSimp(std::vector<KivDynExtent> extents, uint64_t nSectors, uint8_t nPartType, std::string strGroup,
                   std::string strVolume)
        : CKivVolDynSpan(KIV_DYN_SIMPLE, std::move(extents), nSectors, nPartType),
          m_strGroup(std::move(strGroup)), m_strVolume(std::move(strVolume)) {}

    const std::string& GroupName() const { return m_strGroup; }
    const std::string& VolumeName() const { return m_strVolume; }

private:
    std::string m_strGroup, m_strVolume;
};
