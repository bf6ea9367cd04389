// The file-type page's ticks turned into the engine's filter settings.
#include <gtest/gtest.h>

#include "CKivFileTypeChoice.h"
#include "KivModuleLoader.h"

namespace {

class FileTypeChoiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pFilter = static_cast<IKivFilter*>(KivLoadModule("KivFilter", KIV_IID_FILTER));
        ASSERT_NE(m_pFilter, nullptr);
        ASSERT_EQ(m_pFilter->Init("KivFilter.ini"), KIV_OK);
        std::vector<FilterItem> cat{
            {"Pictures", "Pictures", "", "", {"gif", "jpg", "png"}},
            {"Docs", "Documents", "", "", {"doc", "pdf"}},
        };
        m_choice.Load(cat);
    }
    void TearDown() override { KivSafeRelease(m_pFilter); }
    KivFilterSet Build() {
        KivFilterSet s;
        EXPECT_EQ(m_choice.FilterBuild(m_pFilter, &s), KIV_OK);
        return s;
    }

    IKivFilter* m_pFilter = nullptr;
    CKivFileTypeChoice m_choice;
};

}  // namespace

TEST_F(FileTypeChoiceTest, ItemsEndWithTheCatchAll) {
    ASSERT_EQ(m_choice.Count(), 3u);
    EXPECT_EQ(m_choice.At(0).shown, (std::vector<std::string>{"gif", "jpg", "png", "others..."}));
    EXPECT_TRUE(m_choice.At(2).bCatchAll);
    EXPECT_EQ(m_choice.At(2).name, "others...");
}

TEST_F(FileTypeChoiceTest, NothingTickedIsRefused) {
    KivFilterSet s;
    EXPECT_EQ(KivErrNo(m_choice.FilterBuild(m_pFilter, &s)), 0x054u);
}

TEST_F(FileTypeChoiceTest, EverythingTickedKeepsEverything) {
    m_choice.SetAll(true);
    EXPECT_EQ(Build(), (KivFilterSet{2, {}}));
}

TEST_F(FileTypeChoiceTest, TickedGroupsAndExtensionsAreKeptAlone) {
    m_choice.SetItem(0, true);
    EXPECT_EQ(Build(), (KivFilterSet{0, {"gif", "jpg", "png"}}));
    m_choice.SetEntry(0, 0, false);  // gif
    EXPECT_EQ(m_choice.At(0).nState, CKivFileTypeChoice::PART);
    m_choice.SetEntry(1, 1, true);  // pdf
    EXPECT_EQ(Build(), (KivFilterSet{0, {"jpg", "pdf", "png"}}));
}

TEST_F(FileTypeChoiceTest, OnlyTheCatchAllKeepsWhatNoGroupLists) {
    m_choice.SetItem(2, true);
    EXPECT_EQ(Build(), (KivFilterSet{1, {"doc", "gif", "jpg", "pdf", "png"}}));
    // With the pictures too, only the documents stay out.
    m_choice.SetItem(0, true);
    EXPECT_EQ(Build(), (KivFilterSet{1, {"doc", "pdf"}}));
    m_choice.SetEntry(0, 2, false);  // png unticked: left out as well
    EXPECT_EQ(Build(), (KivFilterSet{1, {"doc", "pdf", "png"}}));
}

TEST_F(FileTypeChoiceTest, HiddenExtensionsFollowTheGroupsOthersEntry) {
    std::vector<FilterItem> cat{{"P", "Pictures", "", "", {"gif", "jpg", "png", "tif"}}};
    m_choice.Load(cat, 2);  // shows gif and jpg; png and tif behind "others..."
    ASSERT_EQ(m_choice.At(0).shown, (std::vector<std::string>{"gif", "jpg", "others..."}));
    ASSERT_TRUE(m_choice.TickExtension("tif"));
    EXPECT_EQ(Build(), (KivFilterSet{0, {"png", "tif"}}));
    ASSERT_TRUE(m_choice.TickExtension("gif"));
    EXPECT_EQ(Build(), (KivFilterSet{0, {"gif", "png", "tif"}}));
    EXPECT_FALSE(m_choice.TickExtension("exe"));
    EXPECT_TRUE(m_choice.TickGroup("pictures"));
    EXPECT_TRUE(m_choice.TickGroup("P"));
    EXPECT_FALSE(m_choice.TickGroup("Video"));
}
