#include "CFATDataRunList.h"

void CFATDataRunList::AddRun(uint64_t nStart, uint64_t nLength) {
    if (!m_runs.empty()) {
        KivDataRun& last = m_runs.back();
        uint64_t nEnd = last.nStart + last.nLength;
        // A wrapped end (hostile chain) is never "contiguous".
        if (nEnd >= last.nStart && nEnd == nStart && last.nLength + nLength >= last.nLength) {
            last.nLength += nLength;
            return;
        }
    }
    m_runs.push_back({nStart, nLength});
}
