// Component frame: reference counts, the loader, and what the libraries export.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "IKivDevStor.h"
#include "KivModuleLoader.h"

namespace {

struct Probe : IKivCommon {
    explicit Probe(bool* p) : pDeleted(p) {}
    ~Probe() override { *pDeleted = true; }
    bool* pDeleted;
};

TEST(ComponentTest, CountStartsAtOneAndLastReleaseDeletes) {
    bool deleted = false;
    auto* p = new Probe(&deleted);
    EXPECT_EQ(p->AddRef(), 2);
    EXPECT_EQ(p->Release(), 1);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(p->Release(), 0);
    EXPECT_TRUE(deleted);
}

TEST(ComponentTest, ResultCodeFields) {
    KivResult c = KivMakeCode(0x123, 0x11, 0x02A);
    EXPECT_EQ(KivLineOf(c), 0x123u);
    EXPECT_EQ(KivModuleOf(c), 0x11u);
    EXPECT_EQ(KivErrNo(c), 0x02Au);
    EXPECT_TRUE(KivSucceeded(KivMakeCode(5, 0x11, 0)));  // upper bits never decide
    EXPECT_TRUE(KivFailed(KIV_FAIL));
}

TEST(LoaderTest, ServesInterfacesByCaseInsensitiveName) {
    IKivCommon* p = nullptr;
    EXPECT_EQ(KivLoadModule("KivEnumDevEx", "ikivimagedev", &p), KIV_OK);
    ASSERT_NE(p, nullptr);
    auto* dev = dynamic_cast<IKivImageDev*>(p);
    EXPECT_NE(dev, nullptr);
    EXPECT_EQ(p->AddRef(), 2);
    EXPECT_EQ(p->Release(), 1);
    EXPECT_EQ(p->Release(), 0);

    IKivCommon* q = KivLoadModule("KivEnumDevEx", "IKIVIMAGEDEV");
    ASSERT_NE(q, nullptr);
    q->Release();
}

TEST(LoaderTest, UnknownInterfaceIsSuccessWithNullObject) {
    IKivCommon* p = reinterpret_cast<IKivCommon*>(0x1);
    EXPECT_EQ(KivLoadModule("KivEnumDevEx", "IKivNoSuchThing", &p), KIV_OK);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(KivLoadModule("KivFilter", "IKivImageDev"), nullptr);
}

TEST(LoaderTest, MissingModuleAndNullOut) {
    IKivCommon* p = nullptr;
    EXPECT_EQ(KivErrNo(KivLoadModule("KivNoSuchModule", "IKivImageDev", &p)), KIV_E_BIND);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(KivLoadModule("KivNoSuchModule", "IKivImageDev"), nullptr);
    EXPECT_EQ(KivErrNo(KivLoadModule("KivEnumDevEx", "IKivImageDev", nullptr)), KIV_E_INVALIDARG);
}

}  // namespace
