// Raw devices for a user through udisks2: undelia-cli run as user nobody against a fake udisks2
// on a private bus, over a read-only loop device only root may open. The descriptor it hands over
// is checked: read-only, and of the device asked for. (An image file the user may not read is no
// business of udisks2's: the CLI tests see it refused with the system's reason.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "IKivDevStor.h"
#include "KivModuleLoader.h"
#include "KivShellRun.h"

namespace {

using CliOutcome = ShellRun;

class UDisksOpenerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (::geteuid() != 0 || std::system("command -v setpriv dbus-run-session mkfs.fat mcopy >/dev/null") != 0)
            return;
        char sz[] = "/tmp/kiv-udisks-XXXXXX";
        ASSERT_NE(::mkdtemp(sz), nullptr);
        s_dir = sz;
        ::chmod(s_dir.c_str(), 0711);  // nobody may pass through, not list or read
        s_image = s_dir + "/card.img";
        std::string cmd = "cd '" + s_dir + "' && printf 'hello from the card\\n' > hello.txt && mkfs.fat -C card.img 4096 "
                          ">/dev/null && mcopy -i card.img hello.txt ::/HELLO.TXT && chmod 600 card.img";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        // Read-only: nothing, not even the fake, can open it for writing.
        FILE* p = ::popen(("losetup -r -f --show '" + s_image + "' 2>/dev/null").c_str(), "r");
        char dev[64] = {};
        if (!p || !std::fgets(dev, sizeof dev, p) || ::pclose(p) != 0) return;
        s_image = std::string(dev, strcspn(dev, "\n"));
        s_bReady = true;
    }
    static void TearDownTestSuite() {
        if (s_bReady) std::system(("losetup -d '" + s_image + "'").c_str());
        if (!s_dir.empty()) std::system(("rm -rf '" + s_dir + "'").c_str());
    }
    void SetUp() override {
        if (!s_bReady)
            GTEST_SKIP() << "needs root (to run the program as nobody and make a loop device), setpriv, "
                            "dbus-run-session, mtools";
    }

    // undelia-cli ARGS as nobody, with a fake udisks2 in MODE ("none": no udisks2 on the bus).
    CliOutcome Cli(const std::string& mode, const std::string& args) { return AsNobody(mode, "undelia-cli " + args); }

    // PROGRAM (of the build's bin/) with its arguments as nobody, beside a fake udisks2 in MODE.
    CliOutcome AsNobody(const std::string& mode, const std::string& program) {
        std::string o = s_dir + "/out", e = s_dir + "/err";
        std::string cmd = "dbus-run-session --config-file=" KIV_SOURCE_DIR "/tests/udisks/private-bus.conf -- " KIV_SOURCE_DIR
                          "/tests/udisks/with-fake-udisks2 " KIV_BIN_DIR "/fake-udisks2 " + mode + " '" + s_image +
                          "' -- " KIV_BIN_DIR "/" + program + " >'" + o + "' 2>'" + e + "'";
        int status = std::system(cmd.c_str());
        CliOutcome r;
        r.nExit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ShellReadText(o);
        r.err = ShellReadText(e);
        return r;
    }

    static std::string s_dir, s_image;
    static bool s_bReady;
};
std::string UDisksOpenerTest::s_dir, UDisksOpenerTest::s_image;
bool UDisksOpenerTest::s_bReady = false;

}  // namespace

TEST_F(UDisksOpenerTest, AUserReadsTheDeviceThroughUDisks) {
    for (const char* mode : {"grant", "backup-only"}) {
        CliOutcome r = Cli(mode, "ls -q '" + s_image + "'");
        EXPECT_EQ(r.nExit, 0) << mode << ": " << r.err;
        EXPECT_NE(r.out.find("HELLO.TXT"), std::string::npos) << mode << ": " << r.out;
    }
}

TEST_F(UDisksOpenerTest, WithoutUDisksTheUserIsToldToStartWithAdministratorRights) {
    CliOutcome r = Cli("none", "scan '" + s_image + "'");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("udisks2 is not running"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("administrator rights"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sudo undelia-cli"), std::string::npos) << r.err;
}

TEST_F(UDisksOpenerTest, ARefusalIsReportedWithPolkitsReason) {
    CliOutcome r = Cli("deny", "scan '" + s_image + "'");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.err.find("udisks2 refused to open"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not authorized"), std::string::npos) << r.err;
}

// While polkit asks for the password the opening thread is not stuck in the call: the desktop
// program's window keeps painting from the wait hook.
TEST_F(UDisksOpenerTest, ASlowAnswerIsAwaitedWithTheWaitHookRunning) {
    CliOutcome r = AsNobody("slow", "udisks-wait-probe '" + s_image + "'");
    ASSERT_EQ(r.nExit, 0) << r.out << r.err;
    unsigned nWaits = 0;
    ASSERT_EQ(std::sscanf(r.out.c_str(), "opened, %u waits", &nWaits), 1) << r.out;
    EXPECT_GE(nWaits, 10u) << "half a second of waiting in 20 ms steps";

    r = AsNobody("deny", "udisks-wait-probe '" + s_image + "'");
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.out.find("Not authorized"), std::string::npos) << r.out;
}

// The library never reads through a descriptor that could write, nor one of another file.
TEST_F(UDisksOpenerTest, AWritableOrForeignDescriptorIsRefused) {
    for (const char* mode : {"writable", "other"}) {
        CliOutcome r = Cli(mode, "scan '" + s_image + "'");
        EXPECT_EQ(r.nExit, 1) << mode;
        EXPECT_NE(r.err.find("was not read-only on that device; refused"), std::string::npos) << mode << ": " << r.err;
    }
}

TEST(ImageDevFd, ReadsADescriptorTheCallerKeepsAndRefusesOneThatCouldWrite) {
    char sz[] = "/tmp/kiv-fd-XXXXXX";
    ASSERT_NE(::mkdtemp(sz), nullptr);
    std::string path = std::string(sz) + "/disk.img";
    {
        std::ofstream f(path, std::ios::binary);
        for (int i = 0; i < 4; ++i) f << std::string(512, static_cast<char>('a' + i));
    }
    auto* pDev = static_cast<IKivImageDev*>(KivLoadModule("KivEnumDevEx", "IKivImageDev"));
    ASSERT_NE(pDev, nullptr);

    int rw = ::open(path.c_str(), O_RDWR);
    IKivDevStor* pStor = nullptr;
    EXPECT_EQ(KivErrNo(pDev->OpenImageFd(rw, path.c_str(), 0, &pStor)), KIV_E_WRITABLEFD);
    EXPECT_EQ(pStor, nullptr);
    ::close(rw);

    int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_TRUE(KivSucceeded(pDev->OpenImageFd(fd, path.c_str(), 0, &pStor)));
    ASSERT_NE(pStor, nullptr);
    EXPECT_EQ(pStor->GetSectorCount(), 4u);
    char buf[512];
    // Close and Open again keep working without a path to open.
    pStor->Close();
    ASSERT_EQ(pStor->Open(), 1);
    ASSERT_NE(pStor->ReadSectors(buf, 2, 1), 0);
    EXPECT_EQ(buf[0], 'c');
    pStor->Release();
    EXPECT_NE(::fcntl(fd, F_GETFD), -1) << "the caller's descriptor must stay open";
    ::close(fd);
    pDev->Release();
    std::system(("rm -rf '" + std::string(sz) + "'").c_str());
}
