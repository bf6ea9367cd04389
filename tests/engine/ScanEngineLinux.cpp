// The engine's start position from the configuration file and its factory in the loaded library.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "ScanEngineRig.h"

using namespace engine_test;

TEST(ScanEngineLinux, StartPositionFromTheConfigFile) {
    char szDir[] = "/tmp/kiv-engine-XXXXXX";
    ASSERT_NE(::mkdtemp(szDir), nullptr);
    std::string path = std::string(szDir) + "/config.ini";
    std::ofstream(path) << "[other]\npos=1\n[main]\npos=8192\n";
    ::setenv("UNDELIA_CONFIG_INI", path.c_str(), 1);

    Rig rig(8192 * 3);
    rig.scanners[0]->m_bReadBlock = true;
    RecordingCallback cb;
    ASSERT_EQ(rig.pEngine->Init(rig.pDev), KIV_OK);
    ASSERT_EQ(rig.Scan(&cb), KIV_OK);
    EXPECT_EQ(cb.nHigh, 3u);
    EXPECT_EQ(cb.positions, (std::vector<uint64_t>{2, 3}));
    ASSERT_EQ(rig.scanners[0]->m_calls.size(), 2u);
    EXPECT_EQ(rig.scanners[0]->m_calls[0].nFirst, 8192u);
    EXPECT_EQ(rig.scanners[0]->m_firstBytes, (std::vector<uint8_t>{2, 3}));

    // A position inside a block starts with that whole block; one past the end scans nothing.
    std::ofstream(path) << "[main]\npos=9000\n";
    RecordingCallback cb2;
    ASSERT_EQ(rig.Scan(&cb2), KIV_OK);
    EXPECT_EQ(cb2.positions, (std::vector<uint64_t>{2, 3}));
    std::ofstream(path) << "[main]\npos=99999999\n";
    RecordingCallback cb3;
    ASSERT_EQ(rig.Scan(&cb3), KIV_OK);
    EXPECT_TRUE(cb3.positions.empty());
    EXPECT_EQ(cb3.nEnds, 1);

    ::unsetenv("UNDELIA_CONFIG_INI");
    ::unlink(path.c_str());
    ::rmdir(szDir);
}

TEST(ScanEngineLinux, FactoryServesTheEngineByNameInAnyCase) {
    void* h = ::dlopen(KIV_BIN_DIR "/KivScanDev.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr) << ::dlerror();
    auto pfn = reinterpret_cast<PFN_KivDllQueryInterface>(::dlsym(h, "KivDllQueryInterface"));
    ASSERT_NE(pfn, nullptr);
    EXPECT_EQ(KivErrNo(pfn("IKivScanDev", nullptr)), KIV_E_INVALIDARG);
    IKivCommon* p = reinterpret_cast<IKivCommon*>(1);
    EXPECT_EQ(pfn("IKivSomethingElse", &p), KIV_OK);
    EXPECT_EQ(p, nullptr);
    ASSERT_EQ(pfn("ikivscandev", &p), KIV_OK);
    ASSERT_NE(p, nullptr);
    auto* pEngine = static_cast<IKivScanDev*>(p);
    EXPECT_EQ(KivErrNo(pEngine->Uninit()), KIV_E_INITSTATE);
    EXPECT_EQ(pEngine->Release(), 0);
}
