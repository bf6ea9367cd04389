// Session files: what is saved comes back; a file of another version, cut short or with any byte
// changed is refused with one line; the medium's identity tells media apart; a save replaces the
// file whole.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CKivScanSession.h"
#include "KivMemDevStor.h"
#include "KivTempDirTest.h"

namespace {

class ScanSession : public KivTempDirTest {
protected:
    ScanSession() : KivTempDirTest("kiv-session-") {}

    static CKivScanSession Sample() {
        CKivScanSession s;
        s.medium.strPath = "/images/card.img";
        s.medium.nBytes = 64ull << 20;
        s.medium.nSectorSize = 512;
        s.medium.strSerial = "SN123";
        for (size_t i = 0; i < 32; ++i) s.medium.fingerprint[i] = static_cast<uint8_t>(i * 7);
        s.strTypes = "jpg,png";
        s.nSavedAt = 1700000000;
        s.nBlocksDone = 5;
        s.nBlocks = 16;
        s.badAreas = {{100, 200, 1}, {5000, 5008, 2}};
        for (int i = 0; i < 1000; ++i) s.engineState.push_back(static_cast<uint8_t>(i * 13));
        return s;
    }
    std::vector<uint8_t> Bytes(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    void Put(const std::string& path, const std::vector<uint8_t>& v) {
        std::ofstream f(path, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(v.data()), static_cast<std::streamsize>(v.size()));
    }
};

}  // namespace

TEST_F(ScanSession, SavedSessionComesBackWhole) {
    std::string path = m_dir + "/s.und";
    CKivScanSession s = Sample();
    std::string why;
    ASSERT_TRUE(s.Save(path, &why)) << why;
    CKivScanSession t;
    ASSERT_TRUE(t.Load(path, &why)) << why;
    EXPECT_EQ(t.medium.strPath, s.medium.strPath);
    EXPECT_EQ(t.medium.nBytes, s.medium.nBytes);
    EXPECT_EQ(t.medium.strSerial, "SN123");
    EXPECT_EQ(t.medium.fingerprint, s.medium.fingerprint);
    EXPECT_EQ(t.strTypes, "jpg,png");
    EXPECT_EQ(t.nBlocksDone, 5u);
    EXPECT_EQ(t.nBlocks, 16u);
    EXPECT_FALSE(t.bComplete);
    ASSERT_EQ(t.badAreas.size(), 2u);
    EXPECT_EQ(t.badAreas[1].nFirst, 5000u);
    EXPECT_EQ(t.badAreas[1].nKind, 2u);
    EXPECT_EQ(t.engineState, s.engineState);
    // No temporary file is left beside it.
    using It = std::filesystem::directory_iterator;
    EXPECT_EQ(std::distance(It(m_dir), It()), 1);
}

TEST_F(ScanSession, DamagedCutAndForeignFilesAreRefusedWithOneLine) {
    std::string path = m_dir + "/s.und";
    std::string why;
    ASSERT_TRUE(Sample().Save(path, &why)) << why;
    std::vector<uint8_t> good = Bytes(path);
    auto refused = [&](const std::vector<uint8_t>& v, const char* pszWord) {
        Put(path, v);
        CKivScanSession t;
        std::string r;
        EXPECT_FALSE(t.Load(path, &r));
        EXPECT_EQ(r.find('\n'), std::string::npos) << r;
        EXPECT_NE(r.find(pszWord), std::string::npos) << r;
        EXPECT_NE(r.find(path), std::string::npos) << r;
    };
    // Any single changed byte, in the header, the payload or the checksum.
    for (size_t off : {size_t(13), size_t(30), good.size() / 2, good.size() - 1}) {
        std::vector<uint8_t> v = good;
        v[off] ^= 0x01;
        refused(v, off == 13 ? "" : "damaged");
    }
    for (size_t n : {size_t(0), size_t(5), size_t(20), good.size() - 33, good.size() - 1})
        refused(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)),
                n < 8 ? "not a scan session" : "cut short");
    std::vector<uint8_t> old = good;
    old[8] = 0;  // format version 0
    refused(old, "version 0");
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    refused(longer, "after its end");
    refused(std::vector<uint8_t>(100, 'x'), "not a scan session");
    CKivScanSession t;
    EXPECT_FALSE(t.Load(m_dir + "/missing.und", &why));
    EXPECT_NE(why.find("missing.und"), std::string::npos);
}

TEST_F(ScanSession, MediaAreToldApartByTheirEnds) {
    std::vector<uint8_t> data(4u << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 >> 5);
    auto* a = new KivMemDevStor(data);
    CKivScanSession::Medium ma, mb, mc, md;
    std::string why;
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(a, "a.img", &ma, &why)) << why;
    // The first and last MiB are read, nothing else.
    EXPECT_EQ(a->m_nSectorsRead, 2u * 2048u);
    EXPECT_EQ(CKivScanSession::Mismatch(ma, ma), "");

    std::vector<uint8_t> mid = data;
    mid[2u << 20] ^= 1;  // the middle is not looked at
    auto* b = new KivMemDevStor(mid);
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(b, "b.img", &mb, &why));
    EXPECT_EQ(CKivScanSession::Mismatch(ma, mb), "");

    std::vector<uint8_t> end = data;
    end[end.size() - 10] ^= 1;
    auto* c = new KivMemDevStor(end);
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(c, "c.img", &mc, &why));
    std::string diff = CKivScanSession::Mismatch(ma, mc);
    EXPECT_NE(diff.find("a.img"), std::string::npos) << diff;
    EXPECT_NE(diff.find("c.img"), std::string::npos) << diff;

    auto* d = new KivMemDevStor(std::vector<uint8_t>(data.begin(), data.end() - 512));
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(d, "d.img", &md, &why));
    EXPECT_NE(CKivScanSession::Mismatch(ma, md).find("bytes"), std::string::npos);
    // A medium that fails to read has no identity.
    d->m_bFail = true;
    EXPECT_FALSE(CKivScanSession::IdentifyMedium(d, "d.img", &md, &why));
    EXPECT_NE(why.find("d.img"), std::string::npos);
    for (auto* p : {a, b, c, d}) p->Release();
}

TEST_F(ScanSession, SkippedSectorsAreZerosAndAreNotRead) {
    std::vector<uint8_t> data(4u << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    const uint64_t nLast = data.size() / 512;
    // A saved map: areas at the start, one across the whole of the second end, overlapping ones.
    std::vector<CKivScanSession::BadArea> skip = {{0, 3, 1}, {100, 110, 2}, {105, 120, 1}, {nLast - 2048, nLast, 1}};
    std::vector<uint8_t> zeroed = data;
    for (const auto& a : skip) std::fill(zeroed.begin() + a.nFirst * 512, zeroed.begin() + a.nEnd * 512, 0);
    auto* a = new KivMemDevStor(data);
    auto* z = new KivMemDevStor(zeroed);
    CKivScanSession::Medium ma, mz;
    std::string why;
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(a, "a.img", &ma, &why, &skip)) << why;
    ASSERT_TRUE(CKivScanSession::IdentifyMedium(z, "z.img", &mz, &why)) << why;
    EXPECT_EQ(ma.fingerprint, mz.fingerprint);
    EXPECT_EQ(a->m_nSectorsRead, 2048u - 3u - 20u);
    a->Release();
    z->Release();
}

TEST_F(ScanSession, SaveReplacesTheFileWholeOrNotAtAll) {
    std::string path = m_dir + "/s.und";
    std::string why;
    CKivScanSession s = Sample();
    ASSERT_TRUE(s.Save(path, &why));
    s.nBlocksDone = 9;
    ASSERT_TRUE(s.Save(path, &why));
    CKivScanSession t;
    ASSERT_TRUE(t.Load(path, &why));
    EXPECT_EQ(t.nBlocksDone, 9u);
#ifndef _WIN32  // Windows' folders take no POSIX modes
    // A folder that cannot be written: the save fails with the reason, the old file stays.
    if (::geteuid() != 0) {
        ::chmod(m_dir.c_str(), 0500);
        s.nBlocksDone = 11;
        EXPECT_FALSE(s.Save(path, &why));
        EXPECT_FALSE(why.empty());
        ::chmod(m_dir.c_str(), 0700);
        ASSERT_TRUE(t.Load(path, &why));
        EXPECT_EQ(t.nBlocksDone, 9u);
    }
#endif
    EXPECT_FALSE(s.Save(m_dir + "/no/such/folder/s.und", &why));
    EXPECT_NE(why.find("No such file"), std::string::npos) << why;
}
