#include "Raw/CustomFileAnalyser.h"

#include "KivLog.h"
#include "Model/RawTypeTable.h"
#include "platform/KivPlatform.h"

std::string CustomFileAnalyser::DefaultFolder() {
    std::string dir = KivGetExeDir();
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + "CustomFileScript";
}

CustomFileAnalyser::CustomFileAnalyser() : CustomFileAnalyser(DefaultFolder()) {}

CustomFileAnalyser::CustomFileAnalyser(const std::string& folder) : IRawFileAnalyser(-1) {
    m_headers.Load(folder);
    // When every header tests byte 0, only sectors starting with one of those bytes need asking.
    bool bAll = m_headers.Count() > 0;
    bool seen[256] = {};
    for (size_t i = 0; bAll && i < m_headers.Count(); ++i) {
        if (m_headers.At(i).GetItems().empty()) continue;  // never matches
        bool bHasZero = false;
        for (const auto& item : m_headers.At(i).GetItems()) {
            if (item.nOffset == 0 && item.nLength > 0) {
                seen[item.bytes[0]] = true;
                bHasZero = true;
                break;
            }
        }
        bAll = bHasZero;
    }
    if (bAll)
        for (int b = 0; b < 256; ++b)
            if (seen[b]) m_strFirstBytes += static_cast<char>(b);
}

bool CustomFileAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    std::string ext;
    if (!m_headers.Match(sector, &ext)) return false;
    uint32_t nId = 0;
    if (KivFailed(RawTypeTable::Get().GetCustomId(ext.c_str(), &nId))) return false;
    pInfo->m_nTypeId = nId;
    return true;
}
