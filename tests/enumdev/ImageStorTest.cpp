// The image device: bad input, reads at the edges, and damaged media through the sector reader.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CKivImageDev.h"
#include "CKivImageStor.h"
#include "CKivSectorReader.h"
#include "KivDamagedReader.h"
#include "platform/KivPlatform.h"

namespace fs = std::filesystem;

namespace {

class ImageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        static int s_nCount = 0;
        fs::path dir = fs::temp_directory_path() /
                       ("kivimage." + std::to_string(KivProcessId()) + "." + std::to_string(++s_nCount));
        fs::remove_all(dir);
        ASSERT_TRUE(fs::create_directories(dir));
        m_dir = dir.generic_string();
    }
    void TearDown() override { fs::remove_all(m_dir); }
    // A file of nBytes whose byte i is (i / 512 + i) & 0xFF.
    std::string MakeFile(const char* name, uint64_t nBytes) {
        std::string path = m_dir + "/" + name;
        std::ofstream f(path, std::ios::binary);
        std::vector<char> chunk(1 << 16);
        for (uint64_t off = 0; off < nBytes; off += chunk.size()) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(chunk.size(), nBytes - off));
            for (size_t i = 0; i < n; ++i) chunk[i] = static_cast<char>(((off + i) / 512 + off + i) & 0xFF);
            f.write(chunk.data(), static_cast<std::streamsize>(n));
        }
        return path;
    }
    static uint8_t ByteAt(uint64_t i) { return static_cast<uint8_t>((i / 512 + i) & 0xFF); }
    std::string m_dir;
};

KivResult Open(const std::string& path, uint32_t nSectorSize, IKivDevStor** pp) {
    CKivImageDev dev;
    return dev.OpenImage(path.c_str(), nSectorSize, pp);
}

TEST_F(ImageFixture, BadInputGetsClearCodes) {
    IKivDevStor* p = reinterpret_cast<IKivDevStor*>(0x1);
    EXPECT_EQ(KivErrNo(Open(m_dir + "/missing.img", 0, &p)), KIV_E_NOTFOUND);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(KivErrNo(Open(m_dir, 0, &p)), KIV_E_NOTFILE);
    EXPECT_EQ(KivErrNo(Open(MakeFile("empty.img", 0), 0, &p)), KIV_E_EMPTY);
    std::string good = MakeFile("good.img", 8192);
    for (uint32_t bad : {100u, 520u, 1000u, 513u})
        EXPECT_EQ(KivErrNo(Open(good, bad, &p)), KIV_E_SECTORSIZE) << bad;
    EXPECT_EQ(KivErrNo(Open("", 0, &p)), KIV_E_INVALIDARG);
    CKivImageDev dev;
    EXPECT_EQ(KivErrNo(dev.OpenImage(nullptr, 0, &p)), KIV_E_INVALIDARG);
    EXPECT_EQ(KivErrNo(dev.OpenImage(good.c_str(), 0, nullptr)), KIV_E_INVALIDARG);
}

TEST_F(ImageFixture, SizesAndReadsAtTheEdges) {
    IKivDevStor* p = nullptr;
    ASSERT_EQ(Open(MakeFile("a.img", 4096 * 3), 4096, &p), KIV_OK);
    EXPECT_EQ(p->GetSectorSize(), 4096u);
    EXPECT_EQ(p->GetSectorCount(), 3u);
    p->Release();

    ASSERT_EQ(Open(MakeFile("b.img", 10 * 512), 0, &p), KIV_OK);
    EXPECT_EQ(p->GetSectorSize(), 512u);
    EXPECT_EQ(p->GetSectorCount(), 10u);
    std::vector<uint8_t> buf(4 * 512, 0xAA);
    EXPECT_EQ(p->ReadSectors(buf.data(), 8, 2), 1);
    EXPECT_EQ(buf[0], ByteAt(8 * 512));
    EXPECT_EQ(p->ReadSectors(buf.data(), 8, 3), 0);   // runs past the end
    EXPECT_EQ(p->ReadSectors(buf.data(), 10, 1), 0);  // starts at the end
    EXPECT_EQ(p->ReadSectors(buf.data(), UINT64_MAX, 2), 0);
    EXPECT_EQ(p->ReadSectors(buf.data(), 10, 0), 1);
    EXPECT_EQ(p->GetBaseStor(), nullptr);
    // Close and Open reopen the same file.
    EXPECT_EQ(p->Close(), 1);
    EXPECT_EQ(p->Open(), 1);
    EXPECT_EQ(p->ReadSectors(buf.data(), 3, 1), 1);
    EXPECT_EQ(buf[5], ByteAt(3 * 512 + 5));
    p->Release();
}

TEST_F(ImageFixture, ShortLastSectorReadsItsTailAsZeros) {
    IKivDevStor* p = nullptr;
    ASSERT_EQ(Open(MakeFile("c.img", 2 * 512 + 100), 0, &p), KIV_OK);
    EXPECT_EQ(p->GetSectorCount(), 3u);
    std::vector<uint8_t> buf(3 * 512, 0xAA);
    ASSERT_EQ(p->ReadSectors(buf.data(), 0, 3), 1);
    for (size_t i = 0; i < 1124; ++i) ASSERT_EQ(buf[i], ByteAt(i)) << i;
    for (size_t i = 1124; i < buf.size(); ++i) ASSERT_EQ(buf[i], 0) << i;
    auto* img = static_cast<CKivImageStor*>(p);
    EXPECT_TRUE(img->Reader().GetBadAreas().empty());  // a short tail is not damage
    p->Release();
}

TEST_F(ImageFixture, DamagedFirstSectorStillOpens) {
    std::string path = MakeFile("g.img", 100000ull * 512);
    auto reader = std::make_unique<KivDamagedReader>();
    reader->badSectors.insert(0);
    auto* stor = new CKivImageStor(std::move(reader));
    ASSERT_EQ(stor->OpenPath(path.c_str(), 0), KIV_OK);
    std::vector<uint8_t> buf(512, 0xAA);
    EXPECT_EQ(stor->ReadSectors(buf.data(), 0, 1), 1);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0), 512);
    EXPECT_EQ(stor->ReadSectors(buf.data(), 90000, 1), 1);
    EXPECT_EQ(buf[0], ByteAt(90000ull * 512));
    stor->Release();
}

TEST_F(ImageFixture, HugeRequestsAreRefused) {
    IKivDevStor* p = nullptr;
    ASSERT_EQ(Open(MakeFile("f.img", 4096), 0, &p), KIV_OK);
    uint8_t b[512];
    auto* img = static_cast<CKivImageStor*>(p);
    EXPECT_EQ(img->Reader().Read(b, 0, (1ull << 32) / 512), 0);  // 4 GiB at once
    EXPECT_EQ(img->Reader().Read(b, 0, UINT64_MAX), 0);
    p->Release();
}

}  // namespace
