// The manual page against the program: it renders without warnings, carries the version, and
// names exactly the options each command's --help lists.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "KivVersion.h"
#include "KivShellRun.h"
#include "KivTempDirTest.h"

namespace {

// The long and short options ("--types", "-q") of a --help text.
std::set<std::string> OptionsInHelp(const std::string& strHelp) {
    std::set<std::string> out;
    // Option lines of the help: two blanks, then "-x,--long" or "--long".
    std::istringstream in(strHelp);
    std::string line;
    static const std::regex opt(R"((?:^|[ ,])(--?[A-Za-z0-9][A-Za-z0-9-]*))");
    while (std::getline(in, line)) {
        if (line.rfind("  -", 0) != 0) continue;
        std::string head = line.substr(2, line.find(' ', 2) - 2);
        for (std::sregex_iterator it(head.begin(), head.end(), opt), end; it != end; ++it) out.insert((*it)[1]);
    }
    return out;
}

const std::string kPage = KIV_BUILD_DIR "/man/undelia-cli.1";
const std::string kSource = "doc/man/undelia-cli.1";

// The options of each ".SS" subsection of the page (the global ones under "OPTIONS"), with the
// sections they take in through ".\" takes: NAME".
std::map<std::string, std::set<std::string>> OptionsInPage(const std::string& strPage) {
    std::map<std::string, std::set<std::string>> own;
    std::map<std::string, std::vector<std::string>> takes;
    std::istringstream in(strPage);
    std::string line, section;
    bool bTag = false;
    // An option on a tag line: "\-q", "\-\-sector\-size", after a blank, a quote or a font change.
    static const std::regex opt(R"((?:^|[ "]|\\f[BIR])(\\-(?:\\-)?[A-Za-z0-9](?:[A-Za-z0-9]|\\-)*))");
    while (std::getline(in, line)) {
        if (line.rfind(".SH ", 0) == 0) {
            section = line.substr(4) == "OPTIONS" ? "" : "-";
            continue;
        }
        if (line.rfind(".SS ", 0) == 0) {
            section = line.substr(4);
            if (section.size() > 1 && section.front() == '"') section = section.substr(1, section.size() - 2);
            continue;
        }
        if (line.rfind(".\\\" takes: ", 0) == 0) {
            takes[section].push_back(line.substr(11));
            continue;
        }
        if (line == ".TP") {
            bTag = true;
            continue;
        }
        if (!bTag) continue;
        bTag = false;
        if (section == "-") continue;
        // The tag line: ".BR \-q ", " \-\-quiet" or ".BI \-\-to " DIR"".
        for (std::sregex_iterator it(line.begin(), line.end(), opt), end; it != end; ++it)
            own[section].insert(std::regex_replace((*it)[1].str(), std::regex(R"(\\-)"), "-"));
    }
    std::map<std::string, std::set<std::string>> out = own;
    for (auto& [sec, names] : takes)
        for (const std::string& n : names) out[sec].insert(own[n].begin(), own[n].end());
    return out;
}

std::vector<std::string> Commands(const std::string& strHelp) {
    std::vector<std::string> out;
    std::istringstream in(strHelp);
    std::string line;
    bool bIn = false;
    while (std::getline(in, line)) {
        if (line.rfind("Subcommands:", 0) == 0) {
            bIn = true;
            continue;
        }
        if (bIn && line.rfind("  ", 0) == 0 && line.size() > 2 && line[2] != ' ')
            out.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return out;
}

std::string Join(const std::set<std::string>& s) {
    std::string out;
    for (const std::string& x : s) out += (out.empty() ? "" : " ") + x;
    return out;
}

class ManPageTest : public KivTempDirTest {
protected:
    ManPageTest() : KivTempDirTest("kiv-man-") {}
    std::string Help(const std::string& args) {
        ShellRun r = ShellRunIn(m_dir, ShellQuote(KIV_BIN_DIR "/undelia-cli") + " " + args + " --help");
        EXPECT_EQ(r.nExit, 0) << args << r.err;
        return r.out;
    }
};

}  // namespace

TEST_F(ManPageTest, RendersWithoutWarningsAndCarriesTheVersion) {
    std::vector<std::string> pages{"undelia-cli"};
#ifdef KIV_HAS_DESKTOP
    pages.push_back("Undelia");
#endif
    for (const std::string& name : pages) {
        const std::string built = KIV_BUILD_DIR "/man/" + name + ".1";
        const std::string source = "doc/man/" + name + ".1";
        // What lintian runs on a package's pages.
        ShellRun r = ShellRunIn(m_dir, "LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z " +
                                           ShellQuote(built) + " >/dev/null");
        EXPECT_EQ(r.nExit, 0) << source;
        EXPECT_EQ(r.err, "") << "fix " << source;
        std::string page = ShellReadText(built);
        EXPECT_NE(page.find("\"Undelia " UNDELIA_VERSION "\""), std::string::npos) << source;
        EXPECT_EQ(page.find('@'), std::string::npos) << source << ": a placeholder was left unfilled";
    }
}

// When a command or option is added, the page must say what it does: this test names what is
// missing on either side so the change can bring the page along.
TEST_F(ManPageTest, NamesExactlyTheOptionsOfEveryCommand) {
    std::map<std::string, std::set<std::string>> page = OptionsInPage(ShellReadText(kPage));
    std::string top = Help("");
    std::vector<std::string> cmds = Commands(top);
    ASSERT_GE(cmds.size(), 4u) << top;

    std::map<std::string, std::set<std::string>> help{{"", OptionsInHelp(top)}};
    for (const std::string& c : cmds) {
        help[c] = OptionsInHelp(Help(c));
        help[c].erase("-h");
        help[c].erase("--help");  // every command has it; the global entry describes it
    }
    for (const auto& [cmd, opts] : help) {
        const char* where = cmd.empty() ? "OPTIONS" : "its .SS subsection under COMMANDS";
        std::string name = cmd.empty() ? "undelia-cli" : "undelia-cli " + cmd;
        if (!cmd.empty() && !page.count(cmd)) {
            ADD_FAILURE() << name << " is a command but " << kSource << " has no \".SS " << cmd << "\"";
            continue;
        }
        std::set<std::string> missing, extra;
        for (const std::string& o : opts)
            if (!page[cmd].count(o)) missing.insert(o);
        for (const std::string& o : page[cmd])
            if (!opts.count(o)) extra.insert(o);
        EXPECT_TRUE(missing.empty()) << name << ": " << Join(missing) << " in --help but not in " << kSource
                                     << " (add a .TP entry under " << where << ")";
        EXPECT_TRUE(extra.empty()) << name << ": " << Join(extra) << " in " << kSource << " but not in --help";
    }
    for (const auto& [sec, opts] : page) {
        // "Scan options", "View options": shared subsections that commands take in.
        if (sec.empty() || help.count(sec) || (sec.size() > 8 && sec.compare(sec.size() - 8, 8, " options") == 0))
            continue;
        ADD_FAILURE() << kSource << " describes a command \"" << sec << "\" that --help does not list";
    }
}
