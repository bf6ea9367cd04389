// Destination naming by Windows' rules, through a whole recovery: names the system would open as a
// device, strip or refuse get a name it keeps, and the report still gives the name on the medium.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "CKivFileRecover.h"
#include "KivMemDevStor.h"
#include "Model/CKivFileAttrNTFS.h"
#include "Model/KivNodeFactory.h"
#include "RecoverTestUtil.h"

namespace fs = std::filesystem;

namespace {

CKivFileAttrBase* Attr(const char* name, uint64_t nSize, uint64_t nCluster, uint16_t nFlags = 0) {
    CKivFileAttrBase* a = KivNewAttr(KIV_ATTR_NTFS);
    a->SetName(name);
    a->SetSize(nSize);
    a->SetAttributes(nFlags);
    a->SetCheckState(KIV_CHECK_FULL);
    if (nSize) {
        CKivCompactRunList rl;
        rl.Append(nCluster, 1);
        a->SetRuns(rl);
    }
    return a;
}

}  // namespace

TEST(KivRecoverNamesWindows, DeviceNamesTrailingDotsAndReservedCharactersAreRenamedAndReported) {
    std::vector<uint8_t> disk(1 << 20);
    for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<uint8_t>(i / 512);
    KivMemDevStor dev(disk);
    IKivFsNode* part = KivNewFsNode(Attr("Card", 0, 0, KIV_FA_DIRECTORY));
    part->SetPartInfo(64, 1);
    part->SetFsType(KIV_FS_NTFS);
    // Name on the medium -> name in the destination; each file holds cluster (64 + n) of the disk.
    const std::map<std::string, std::string> want = {
        {"CON", "_CON"},         {"aux.txt", "_aux.txt"}, {"com1.log", "_com1.log"}, {"name.", "name.#"},
        {"trail ", "trail #"},   {"a:b.txt", "a#b.txt"},  {"q?\"<>|*.doc", "q######.doc"}, {"plain.txt", "plain.txt"}};
    std::map<std::string, uint64_t> cluster;
    uint64_t n = 10;
    IKivFileNode* dir = KivNewFileNode(Attr("nul", 0, 0, KIV_FA_DIRECTORY));
    part->AddChild(dir);
    for (const auto& [name, safe] : want) {
        dir->AddChild(KivNewFileNode(Attr(name.c_str(), 300, n)));
        cluster[name] = n++;
    }

    KivTestDir d;
    CKivFileRecover rec;
    rec.SetDevice(&dev);
    KivTestCallback cb;
    char created[4096];
    ASSERT_EQ(rec.DoRecoverDir(part, &cb, d.Str().c_str(), created, sizeof created), KIV_OK);
    ASSERT_EQ(rec.WaitForRecoverEnd(0), KIV_OK);
    const fs::path folder = fs::path(created) / "_nul";  // a folder named NUL would be the device too
    ASSERT_TRUE(fs::is_directory(folder)) << created;
    size_t nFiles = 0;
    for (const auto& e : fs::directory_iterator(folder)) nFiles += e.is_regular_file();
    EXPECT_EQ(nFiles, want.size());
    std::map<std::string, std::string> reported;  // output leaf -> name on the medium
    for (const auto& [path, name] : cb.written) reported[fs::path(path).filename().string()] = name;
    for (const auto& [name, safe] : want) {
        SCOPED_TRACE(name);
        std::vector<uint8_t> got = KivTestReadFile(folder / safe);
        ASSERT_EQ(got.size(), 300u);
        EXPECT_EQ(got[0], static_cast<uint8_t>(64 + cluster[name]));
        EXPECT_EQ(reported[safe], name);
    }
    EXPECT_EQ(rec.GetStats().nFilesFailed, 0u);
    part->Release();
}
