// The catalogues that ship beside the program: what the file-type page and the type view offer.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "IKivFilter.h"
#include "KivFunction.h"
#include "KivModuleLoader.h"
#include "Model/RawTypeTable.h"
#include "platform/KivIniFile.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Every extension the carver can name: the fixed rows and the example headers that ship.
std::set<std::string> CarvingExtensions() {
    std::set<std::string> out;
    for (uint32_t id = 1; id < RawTypeTable::kFixedCount; ++id) out.insert(Lower(RawTypeTable::Get().GetExt(id)));
    std::regex ext(R"re(EXTNAME\s*=\s*"([^"]+)")re", std::regex::icase);
    for (const auto& e : fs::directory_iterator(KIV_SOURCE_DIR "/data/CustomFileScript")) {
        std::ifstream f(e.path());
        std::stringstream s;
        s << f.rdbuf();
        std::string text = s.str();
        for (std::sregex_iterator it(text.begin(), text.end(), ext), end; it != end; ++it) out.insert(Lower((*it)[1]));
    }
    return out;
}

std::vector<FilterItem> ShippedFilterCatalogue() {
    auto* f = static_cast<IKivFilter*>(KivLoadModule("KivFilter", KIV_IID_FILTER));
    std::vector<FilterItem> items;
    if (!f) return items;
    if (KivSucceeded(f->Init("KivFilter.ini"))) f->EnumTypes(&items);
    f->Release();
    return items;
}

bool StartsWithUtf16Bom(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    char b[2] = {};
    f.read(b, 2);
    return f && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xFE;
}

}  // namespace

TEST(ShippedCatalogueTest, BothCataloguesAreUtf16BesideTheProgram) {
    EXPECT_TRUE(StartsWithUtf16Bom(KivGetExeDir() + "/KivFilter.ini"));
    EXPECT_TRUE(StartsWithUtf16Bom(KivGetExeDir() + "/KivFileType.ini"));
}

TEST(ShippedCatalogueTest, FileTypePageOffersTheGroupsAndEveryCarvedExtension) {
    std::vector<FilterItem> items = ShippedFilterCatalogue();
    std::vector<std::string> names;
    for (const FilterItem& i : items) names.push_back(i.name);
    EXPECT_EQ(names, (std::vector<std::string>{"Pictures", "Documents", "Archives", "Audio", "Video",
                                               "E-mail and databases", "Design and CAD", "Others"}));
    std::set<std::string> offered;
    for (const FilterItem& i : items) {
        EXPECT_NE(i.descript, "unknow") << i.section;
        EXPECT_NE(i.detail, "unknow") << i.section;
        EXPECT_FALSE(i.extensions.empty()) << i.section;
        for (const std::string& e : i.extensions) EXPECT_TRUE(offered.insert(e).second) << e << " in two groups";
    }
    for (const std::string& e : CarvingExtensions()) EXPECT_TRUE(offered.count(e)) << e << " is in no group";
}

TEST(ShippedCatalogueTest, TypeViewCategoriesMatchTheFileTypePage) {
    // The type view has the same groups, less "Others": that folder is the view's own catch-all,
    // so the known extensions of that group land there anyway.
    CKivIniFile ini;
    ASSERT_TRUE(ini.Load(KivGetExeDir() + "/KivFileType.ini"));
    std::vector<FilterItem> page = ShippedFilterCatalogue();
    std::vector<std::string> sections = ini.SectionNames();
    ASSERT_EQ(sections.size() + 1, page.size());
    for (size_t i = 0; i < sections.size(); ++i) {
        const std::string& s = sections[i];
        EXPECT_EQ(ini.GetString(s, "name"), page[i].name);
        EXPECT_FALSE(ini.GetString(s, "descript").empty()) << s;
        std::vector<std::string> exts;
        ASSERT_EQ(StrExts2VecExtNames(Lower(ini.GetString(s, "exts")).c_str(), &exts), KIV_OK) << s;
        EXPECT_EQ(exts, page[i].extensions) << s;
    }
    EXPECT_EQ(page.back().name, "Others");
}
