// recover --report over the sample image: the JSON form validates against the schema kept in doc/
// and its hashes are those of the files written; the DFXML form is well-formed XML whose byte runs,
// read back from the image, hash like the files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "KivVersion.h"
#include "KivShellRun.h"

namespace {

class ReportTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        char sz[] = "/tmp/kiv-report-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        s_dir = sz;
        ShellRun r = ShellRunIn(s_dir, ShellQuote(KIV_SOURCE_DIR "/scripts/make-sample") + " " + Image());
        ASSERT_EQ(r.nExit, 0) << r.err;
        // A second small volume whose names need escaping in XML.
        r = ShellRunIn(s_dir, "cd " + ShellQuote(s_dir) +
                                  " && printf 'R and D\\n' > rd.txt && mkfs.fat -C names.img 2048 >/dev/null && "
                                  "mcopy -i names.img rd.txt \"::/R&D 'notes' <1>.txt\" 2>/dev/null || "
                                  "mcopy -i names.img rd.txt \"::/R&D 'notes'.txt\"");
        ASSERT_EQ(r.nExit, 0) << r.err;
        // A volume of 4096-byte sectors: byte runs are sectors of that size.
        r = ShellRunIn(s_dir, "cd " + ShellQuote(s_dir) +
                                  " && head -c 300000 /dev/urandom > big.bin && mkfs.fat -S 4096 -s 1 -C s4k.img 16384 "
                                  ">/dev/null && mcopy -i s4k.img big.bin ::/big.bin");
        ASSERT_EQ(r.nExit, 0) << r.err;
    }
    static void TearDownTestSuite() { std::system(("rm -rf " + ShellQuote(s_dir)).c_str()); }

    static std::string Image() { return ShellQuote(s_dir + "/sample.img"); }
    static ShellRun Recover(const std::string& image, const std::string& out, const std::string& report) {
        return ShellRunIn(s_dir, ShellQuote(KIV_BIN_DIR "/undelia-cli") + " -q recover " + image + " --to " +
                                     ShellQuote(s_dir + "/" + out) + " --report " + ShellQuote(s_dir + "/" + report));
    }
    static ShellRun Check(const std::string& args) {
        return ShellRunIn(s_dir, ShellQuote(KIV_SOURCE_DIR "/tests/shipping/check-report") + " " + args);
    }

    static std::string s_dir;
};
std::string ReportTest::s_dir;

}  // namespace

TEST_F(ReportTest, JsonValidatesAndItsHashesAreThoseOfTheFilesWritten) {
    ShellRun r = Recover(Image(), "out-json", "report.json");
    ASSERT_EQ(r.nExit, 0) << r.err;
    r = Check("json " + ShellQuote(s_dir + "/report.json") + " " + ShellQuote(KIV_SOURCE_DIR "/doc/recovery-report.schema.json"));
    EXPECT_EQ(r.nExit, 0) << r.out << r.err;
    // Live, deleted and carved files all came back and were checked.
    EXPECT_NE(r.out.find("\"carved\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"deleted\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"live\""), std::string::npos) << r.out;

    nlohmann::json j = nlohmann::json::parse(ShellReadText(s_dir + "/report.json"));
    EXPECT_EQ(j["program"]["version"], UNDELIA_VERSION);
    EXPECT_EQ(j["device"]["sector_size"], 512);
    EXPECT_EQ(j["device"]["size"], 64ull << 20);
    ASSERT_FALSE(j["partitions"].empty());
    EXPECT_EQ(j["partitions"][0]["type"], "FAT32");
    bool bNotes = false;
    for (const auto& f : j["files"]) {
        if (f["original_path"] == "[carved]/JPEG Graphics/FILE002.JPG") {
            EXPECT_EQ(f["state"], "carved");
            // Written into a placeholder folder that was renamed after the copy: the report says where it is now.
            EXPECT_NE(f["output"].get<std::string>().find("/Unknow path/Type Scan/"), std::string::npos) << f["output"];
        }
        if (f["original_path"] != "Documents/notes.txt") continue;
        bNotes = true;
        EXPECT_EQ(f["state"], "live");
        EXPECT_FALSE(f["modified"].is_null());  // mtools stamps every file
        ASSERT_FALSE(f["byte_runs"].empty());
        // The FAT32 partition starts at sector 2048: its data lies behind it.
        EXPECT_GT(f["byte_runs"][0]["offset"].get<uint64_t>(), 2048u * 512);
    }
    EXPECT_TRUE(bNotes) << "notes.txt of the sample is not in the report";
}

TEST_F(ReportTest, DfxmlParsesAndItsByteRunsReadBackFromTheImageHashLikeTheFiles) {
    ShellRun r = Recover(Image(), "out-xml", "report.xml");
    ASSERT_EQ(r.nExit, 0) << r.err;
    r = ShellRunIn(s_dir, "xmllint --noout " + ShellQuote(s_dir + "/report.xml"));
    EXPECT_EQ(r.nExit, 0) << r.err;
    r = Check("dfxml " + ShellQuote(s_dir + "/report.xml") + " " + Image());
    EXPECT_EQ(r.nExit, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("checked 0 files"), std::string::npos) << r.out;
    std::string xml = ShellReadText(s_dir + "/report.xml");
    EXPECT_NE(xml.find("<hashdigest type=\"md5\">"), std::string::npos);
    EXPECT_NE(xml.find("<ftype_str>FAT32</ftype_str>"), std::string::npos);
}

TEST_F(ReportTest, ByteRunsOfAFourKibibyteSectorDeviceReadBackFromTheImage) {
    ShellRun r = Recover(ShellQuote(s_dir + "/s4k.img") + " --sector-size 4096", "out-4k", "s4k.xml");
    ASSERT_EQ(r.nExit, 0) << r.err;
    r = Check("dfxml " + ShellQuote(s_dir + "/s4k.xml") + " " + ShellQuote(s_dir + "/s4k.img"));
    EXPECT_EQ(r.nExit, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("checked 1 files"), std::string::npos) << r.out;
}

TEST_F(ReportTest, NamesThatNeedEscapingStayWellFormed) {
    ShellRun r = Recover(ShellQuote(s_dir + "/names.img"), "out-names", "names.xml");
    ASSERT_EQ(r.nExit, 0) << r.err;
    r = ShellRunIn(s_dir, "xmllint --noout " + ShellQuote(s_dir + "/names.xml"));
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_NE(ShellReadText(s_dir + "/names.xml").find("R&amp;D &apos;notes&apos;"), std::string::npos);
}

TEST_F(ReportTest, AReportNamedNeitherJsonNorXmlIsRefusedBeforeTheScan) {
    ShellRun r = Recover(Image(), "out-bad", "report.txt");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("must end in .json (JSON) or .xml (DFXML)"), std::string::npos) << r.err;
    EXPECT_NE(::access((s_dir + "/out-bad").c_str(), F_OK), 0) << "nothing is recovered for a refused report";
}

// Named relative to where it ran, the report still says where everything is, and how it was made;
// a second run never replaces it unnoticed: refused before the scan unless --force says so.
TEST_F(ReportTest, PathsAreAbsoluteTheCommandLineIsKeptAndAnExistingReportIsRefused) {
    const std::string cmd = "cd " + ShellQuote(s_dir) + " && " + ShellQuote(KIV_BIN_DIR "/undelia-cli") +
                            " -q recover sample.img --report ./rel.json --to ";
    ShellRun r = ShellRunIn(s_dir, cmd + "rel-out");
    ASSERT_EQ(r.nExit, 0) << r.err;
    nlohmann::json j = nlohmann::json::parse(ShellReadText(s_dir + "/rel.json"));
    EXPECT_EQ(j["device"]["path"], s_dir + "/sample.img");
    EXPECT_NE(j["program"]["command_line"].get<std::string>().find(" -q recover sample.img --report ./rel.json --to rel-out"),
              std::string::npos)
        << j["program"];
    ASSERT_FALSE(j["files"].empty());
    for (const auto& f : j["files"])
        EXPECT_EQ(f["output"].get<std::string>().rfind(s_dir + "/rel-out/", 0), 0u) << f["output"];

    r = ShellRunIn(s_dir, cmd + "rel-again");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("exists; give --force"), std::string::npos) << r.err;
    EXPECT_NE(::access((s_dir + "/rel-again").c_str(), F_OK), 0) << "refused before anything is recovered";
    r = ShellRunIn(s_dir, cmd + "rel-again --force");
    EXPECT_EQ(r.nExit, 0) << r.err;
    EXPECT_NE(ShellReadText(s_dir + "/rel.json").find("/rel-again/"), std::string::npos);
}
