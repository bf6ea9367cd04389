// Files whose structures make a measurement read the same data again and again: the whole
// measurement's reading must stay bounded by the file, not by how often it is pointed at.
#include <gtest/gtest.h>

#include "AnalyserTestKit.h"
#include "Analysers/KivAnalyserFactories.h"

using namespace kit;
using namespace std::literals;

namespace {

struct Measured {
    bool bOk = false;
    CRawFileInfo info;
    uint64_t nBytesRead = 0;
};

// The file at sector 0 of a device of nDevBytes, zeros after it.
Measured MeasureOnZeros(Factory make, const Bytes& file, size_t nDevBytes) {
    Bytes dev = file;
    dev.resize(std::max(nDevBytes, (file.size() + 511) / 512 * 512), 0);
    KivMemDevStor stor(std::move(dev));
    std::unique_ptr<IRawFileAnalyser> a(make());
    Measured m;
    if (!a->CheckHeader(std::span<const uint8_t>(stor.m_data.data(), 512), &m.info)) return m;
    m.bOk = m.info.m_nSize != 0 || a->MeasureFile(&m.info, &stor);
    m.nBytesRead = stor.m_nSectorsRead * 512;
    return m;
}

// A local header written as a stream (flag 8): sizes 0, the descriptor should follow its data.
Bytes StreamedHeader(const std::string& name) {
    Bytes h;
    Put(h, 0, "PK\x03\x04"sv);
    PutLE(h, 4, 20, 2);
    PutLE(h, 6, 0x0008, 2);
    PutLE(h, 8, 8, 2);
    PutLE(h, 26, name.size(), 2);
    PutLE(h, 28, 0, 2);
    Put(h, 30, name);
    return h;
}

}  // namespace

TEST(HostileWalks, ZipHeadersWithoutDescriptorsSearchTheDeviceOnce) {
    CapGuard cap(4u << 20);
    Bytes zip;
    for (int i = 0; i < 60; ++i) {
        Bytes h = StreamedHeader("f" + std::to_string(i) + ".txt");
        zip.insert(zip.end(), h.begin(), h.end());
    }
    Bytes junk = Junk(6u << 20, 3);  // random bytes: no descriptor matches
    Bytes file = zip;
    file.insert(file.end(), junk.begin(), junk.end());
    Measured m = MeasureOnZeros(CreateFileZIPAnalyser, file, file.size());
    ASSERT_TRUE(m.bOk);
    EXPECT_EQ(m.info.m_nSize, zip.size());  // the walk still crosses every header
    EXPECT_LT(m.nBytesRead, 2 * (4u << 20)) << "each header searched up to the cap again";

    // A sound streamed entry is still measured through its descriptor.
    Bytes one = StreamedHeader("a.txt");
    Bytes data(3000, 'd');
    one.insert(one.end(), data.begin(), data.end());
    Bytes desc;
    Put(desc, 0, "PK\x07\x08"sv);
    PutLE(desc, 8, data.size(), 4);
    PutLE(desc, 12, data.size(), 4);
    one.insert(one.end(), desc.begin(), desc.end());
    Bytes end;
    Put(end, 0, "PK\x05\x06"sv);
    PutLE(end, 20, 0, 2);
    end.resize(22);
    one.insert(one.end(), end.begin(), end.end());
    m = MeasureOnZeros(CreateFileZIPAnalyser, one, 1 << 20);
    ASSERT_TRUE(m.bOk);
    EXPECT_EQ(m.info.m_nSize, one.size());
}

namespace {

// A chain of nDirs directories, each naming strip lists of nCount LONGs at the offsets the
// callback gives for directory k.
template <typename Lists>
Bytes TiffChain(size_t nDirs, uint32_t nCount, Lists lists) {
    Bytes f;
    Put(f, 0, "II\x2A\0"sv);
    PutLE(f, 4, 8, 4);
    for (size_t k = 0; k < nDirs; ++k) {
        size_t at = 8 + 30 * k;
        auto [nOffsets, nLengths] = lists(k);
        PutLE(f, at, 2, 2);
        PutLE(f, at + 2, 273, 2), PutLE(f, at + 4, 4, 2), PutLE(f, at + 6, nCount, 4), PutLE(f, at + 10, nOffsets, 4);
        PutLE(f, at + 14, 279, 2), PutLE(f, at + 16, 4, 2), PutLE(f, at + 18, nCount, 4), PutLE(f, at + 22, nLengths, 4);
        PutLE(f, at + 26, k + 1 < nDirs ? at + 30 : 0, 4);
    }
    return f;
}

}  // namespace

TEST(HostileWalks, TiffStripListsAreReadOncePerFile) {
    // 256 directories naming the same two lists of a million strips, all zeros after the file.
    const uint32_t kCount = 1u << 20;
    Bytes same = TiffChain(256, kCount, [](size_t) { return std::pair<uint32_t, uint32_t>{8192, 8192 + 4 * kCount}; });
    Measured m = MeasureOnZeros(CreateFileTIFAnalyser, same, 9u << 20);
    ASSERT_TRUE(m.bOk);
    EXPECT_LT(m.nBytesRead, 12u << 20);

    // Each directory naming lists of its own: the measurement's list budget ends the reading.
    Bytes own = TiffChain(256, kCount, [](size_t k) {
        return std::pair<uint32_t, uint32_t>{uint32_t(8192 + 8 * k), uint32_t(8192 + 8 * k + 4)};
    });
    m = MeasureOnZeros(CreateFileTIFAnalyser, own, 9u << 20);
    ASSERT_TRUE(m.bOk);
    EXPECT_LT(m.nBytesRead, 24u << 20);
}

TEST(HostileWalks, TiffEndsWithTheFurthestStrip) {
    // Strips out of order: the last one ends the file although another starts further in; SHORT
    // and big-endian lists are read the same way.
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        auto put = [big](Bytes& b, size_t off, uint64_t v, size_t n) { big ? PutBE(b, off, v, n) : PutLE(b, off, v, n); };
        Bytes f;
        Put(f, 0, big ? "MM\0\x2A"sv : "II\x2A\0"sv);
        put(f, 4, 8, 4);
        put(f, 8, 2, 2);
        put(f, 10, 273, 2), put(f, 12, 3, 2), put(f, 14, 3, 4), put(f, 18, 100, 4);  // SHORT offsets
        put(f, 22, 279, 2), put(f, 24, 4, 2), put(f, 26, 3, 4), put(f, 30, 120, 4);  // LONG lengths
        put(f, 34, 0, 4);
        put(f, 100, 200, 2), put(f, 102, 5000, 2), put(f, 104, 3000, 2);
        put(f, 120, 10, 4), put(f, 124, 10, 4), put(f, 128, 9000, 4);
        f.resize(12000, 0x55);
        Measured m = MeasureOnZeros(CreateFileTIFAnalyser, f, 1 << 20);
        ASSERT_TRUE(m.bOk);
        EXPECT_EQ(m.info.m_nSize, 12000u);
    }
}
