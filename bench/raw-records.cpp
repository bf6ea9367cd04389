// Memory of the carved-file list: 1,000,000 records (a few with texts, as the analysers give
// them) added as the scan adds them, and the resident memory they took, per record.
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "Model/CRawFileInfo.h"

namespace {

long ResidentBytes() {
    std::ifstream f("/proc/self/statm");
    long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

}  // namespace

int main() {
    constexpr size_t kRecords = 1000000;
    long before = ResidentBytes();
    CRawFileList list;
    for (size_t i = 0; i < kRecords; ++i) {
        CRawFileInfo r;
        r.m_nStartSector = i * 17;
        r.m_nTypeId = 33;
        r.m_nAnalyserId = 33;
        if (i % 100 == 0) r.m_strTitle = "Canon EOS";  // a camera model now and then
        list.Add(std::move(r));
    }
    long after = ResidentBytes();
    std::printf("records          %zu (1 in 100 with a title)\n", list.Size());
    std::printf("record size      %zu B\n", sizeof(CRawFileInfo));
    std::printf("resident         %.1f MiB, %.1f B per record (target 64)\n", (after - before) / 1048576.0,
                double(after - before) / kRecords);
    return list.FindByStart(17 * 500000) ? 0 : 1;
}
