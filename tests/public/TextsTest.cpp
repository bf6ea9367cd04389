// The texts that ship beside the program: every error number the code can answer and every hint
// the program reads has a text, so the user never sees a bare code.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "KivIniLoader.h"
#include "platform/KivIniFile.h"

namespace fs = std::filesystem;

namespace {

struct Source {
    std::string path;
    std::string text;
};

std::vector<Source> SourceFiles() {
    std::vector<Source> out;
    for (const char* dir : {KIV_SOURCE_DIR "/src", KIV_SOURCE_DIR "/inc"}) {
        for (const auto& e : fs::recursive_directory_iterator(dir)) {
            std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h")) continue;
            std::ifstream f(e.path());
            std::stringstream s;
            s << f.rdbuf();
            out.push_back({e.path().string(), s.str()});
        }
    }
    return out;
}

// The argument text of each call of one of the named macros or functions.
std::vector<std::pair<std::string, std::string>> CallArguments(const std::vector<Source>& files,
                                                               const std::regex& callee) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const Source& s : files) {
        for (std::sregex_iterator it(s.text.begin(), s.text.end(), callee), end; it != end; ++it) {
            size_t open = static_cast<size_t>(it->position() + it->length()) - 1;
            int depth = 0;
            size_t i = open;
            for (; i < s.text.size(); ++i) {
                if (s.text[i] == '(') ++depth;
                if (s.text[i] == ')' && --depth == 0) break;
            }
            out.emplace_back(s.path, s.text.substr(open + 1, i - open - 1));
        }
    }
    return out;
}

}  // namespace

TEST(ShippedTextsTest, EveryErrorNumberHasAText) {
    std::vector<Source> files = SourceFiles();
    // The named error numbers, wherever they are declared.
    std::map<std::string, uint32_t> named{{"KIV_FAIL", 0xFFF}};
    std::regex decl(R"(\b(KIV_E_[A-Z0-9_]+)\s*=\s*(0x[0-9A-Fa-f]+|[0-9]+))");
    for (const Source& s : files)
        for (std::sregex_iterator it(s.text.begin(), s.text.end(), decl), end; it != end; ++it)
            named[(*it)[1]] = static_cast<uint32_t>(std::stoul((*it)[2], nullptr, 0)) & 0xFFF;

    std::set<uint32_t> numbers;
    for (const auto& [name, value] : named) numbers.insert(value);
    // Numbers raised at the error sites: names and literals in the error argument.
    std::regex site(R"(\b(KIV_RETERR|KIV_ERR|KIV_RECOVER_FAIL|KivRecoverCode)\s*\()");
    std::regex token(R"(\b(KIV_E_[A-Z0-9_]+|KIV_FAIL|0x[0-9A-Fa-f]+)\b)");
    for (const auto& [path, args] : CallArguments(files, site)) {
        for (std::sregex_iterator it(args.begin(), args.end(), token), end; it != end; ++it) {
            std::string t = (*it)[1];
            if (t.rfind("0x", 0) == 0) {
                numbers.insert(static_cast<uint32_t>(std::stoul(t, nullptr, 16)) & 0xFFF);
                continue;
            }
            auto n = named.find(t);
            EXPECT_NE(n, named.end()) << t << " in " << path << " is declared nowhere";
            if (n != named.end()) numbers.insert(n->second);
        }
    }
    EXPECT_GT(numbers.size(), 10u);

    CKivIniFile ini;
    ASSERT_TRUE(ini.Load(KIV_SOURCE_DIR "/data/KivErrStr.ini"));
    for (uint32_t n : numbers) {
        char key[8];
        std::snprintf(key, sizeof key, "%x", n);
        std::string text;
        EXPECT_TRUE(ini.Find("ErrCode", key, &text) && !text.empty()) << "no text for error number 0x" << key;
    }
    // The texts are formats for one integer only: nothing else may be read.
    std::regex conv(R"(%[-+ #0-9.]*([a-zA-Z%]))");
    for (const std::string& k : ini.KeyNames("ErrCode")) {
        std::string text = ini.GetString("ErrCode", k);
        for (std::sregex_iterator it(text.begin(), text.end(), conv), end; it != end; ++it)
            EXPECT_NE(std::string("diuxXoc%").find((*it)[1]), std::string::npos) << k << ": " << text;
    }
}

TEST(ShippedTextsTest, EveryHintTheProgramReadsHasAText) {
    std::set<std::pair<std::string, std::string>> keys{
        {"DlgMsg", "ExitCheck"},         {"DlgProgScan", "TxtCancel"},        {"PanelEnumDev", "DevicesNextNoSelect"},
        {"PanelEnumDev", "FilesNextNoSelect"}, {"PanelFileRes", "PrivewSizeLimit"}, {"PanelFileRes", "RecoverDstWarn"},
        {"DlgSelectDir", "Capcity"}};
    std::regex call(R"re(\b(KivLoadHintText|KivHintText|KivHintFormat|Hint|HintArg)\s*\(\s*"([^"]+)"\s*,\s*"([^"]+)")re");
    for (const Source& s : SourceFiles())
        for (std::sregex_iterator it(s.text.begin(), s.text.end(), call), end; it != end; ++it)
            keys.insert({(*it)[2], (*it)[3]});
    CKivIniFile ini;
    ASSERT_TRUE(ini.Load(KIV_SOURCE_DIR "/data/KivHintStr.ini"));
    for (const auto& [section, key] : keys) {
        std::string text;
        EXPECT_TRUE(ini.Find(section, key, &text) && !text.empty()) << "no hint " << section << "/" << key;
    }
    // The hint loader finds them beside the program.
    EXPECT_FALSE(KivLoadHintText("DlgProgScan", "TxtCancel").empty());
}
