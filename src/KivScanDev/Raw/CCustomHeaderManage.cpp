#include "Raw/CCustomHeaderManage.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "KivLog.h"

namespace fs = std::filesystem;

namespace {

bool HasFhsExtension(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".fhs";
}

}  // namespace

bool CCustomHeaderManage::Load(const std::string& folder) {
    m_headers.clear();
    std::vector<fs::path> files;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (HasFhsExtension(it->path()) && it->is_regular_file(ec2)) files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        auto header = std::make_unique<CCustomHeader>();
        if (header->Load(path.string()))
            m_headers.push_back(std::move(header));
        else
            KivLogA(0, "Custom file header \"%s\" is not valid and was ignored.", path.string().c_str());
    }
    return !files.empty();
}

bool CCustomHeaderManage::Match(std::span<const uint8_t> sector, std::string* pExt) const {
    for (const auto& header : m_headers) {
        if (header->Match(sector)) {
            *pExt = header->GetExtName();
            return true;
        }
    }
    return false;
}
