// Helpers of the analyser tests: sample files, junk, byte building and a test device that holds
// a file between junk.
#pragma once

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "Analysers/IRawFileAnalyser.h"
#include "KivMemDevStor.h"
#include "Model/KivScanSettings.h"

namespace kit {

using Bytes = std::vector<uint8_t>;
using Factory = IRawFileAnalyser* (*)();

inline Bytes Sample(const std::string& name) {
    std::ifstream f(std::string(KIV_TEST_DATA_DIR) + "/analysers/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// Random bytes; never a zero first byte so that a sector of it is never skipped as empty.
inline Bytes Junk(size_t n, uint32_t nSeed) {
    std::mt19937 rng(nSeed);
    Bytes b(n);
    for (auto& c : b) c = static_cast<uint8_t>(rng());
    if (!b.empty() && b[0] == 0) b[0] = 1;
    return b;
}

inline void Put(Bytes& b, size_t off, const void* p, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    if (n) std::memcpy(b.data() + off, p, n);
}
inline void Put(Bytes& b, size_t off, std::string_view s) { Put(b, off, s.data(), s.size()); }
inline void PutLE(Bytes& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i) b[off + i] = uint8_t(v >> (8 * i));
}
inline void PutBE(Bytes& b, size_t off, uint64_t v, size_t n) {
    if (b.size() < off + n) b.resize(off + n);
    for (size_t i = 0; i < n; ++i) b[off + i] = uint8_t(v >> (8 * (n - 1 - i)));
}

// A device: nLead sectors of junk, the file, nJunk bytes of junk, rounded up to whole sectors.
struct Placed {
    std::unique_ptr<KivMemDevStor> pStor;
    uint64_t nStart = 0;
    std::span<const uint8_t> FirstSector() const { return {pStor->m_data.data() + nStart * 512, 512}; }
};
inline Placed Place(const Bytes& file, size_t nJunk = 70000, uint64_t nLead = 3, uint32_t nSeed = 7) {
    Bytes dev = Junk(nLead * 512, nSeed + 1);
    dev.insert(dev.end(), file.begin(), file.end());
    Bytes tail = Junk(nJunk, nSeed);
    dev.insert(dev.end(), tail.begin(), tail.end());
    dev.resize(std::max<size_t>((dev.size() + 511) / 512 * 512, (nLead + 1) * 512));
    return {std::make_unique<KivMemDevStor>(std::move(dev)), nLead};
}

struct Outcome {
    bool bHeader = false;
    bool bMeasured = false;
    CRawFileInfo info;
};

// Checks the file's first sector, then measures it when the header did not state the size.
inline Outcome Analyse(Factory make, const Bytes& file, size_t nJunk = 70000) {
    Placed p = Place(file, nJunk);
    std::unique_ptr<IRawFileAnalyser> a(make());
    Outcome o;
    o.info.m_nStartSector = p.nStart;
    o.bHeader = a->CheckHeader(p.FirstSector(), &o.info);
    if (o.bHeader) o.bMeasured = o.info.m_nSize != 0 || a->MeasureFile(&o.info, p.pStor.get());
    return o;
}

// Sets the size cap for one test.
class CapGuard {
public:
    explicit CapGuard(uint64_t n) : m_nOld(KivScanSettings::Get().nMaxCarvedSize) {
        KivScanSettings::Get().nMaxCarvedSize = n;
    }
    ~CapGuard() { KivScanSettings::Get().nMaxCarvedSize = m_nOld; }

private:
    uint64_t m_nOld;
};

}  // namespace kit
