// A scanner for engine tests: records every call, can throw or wait on chosen blocks, proposes the
// partitions a test gives it and builds a one-node tree for the types it handles.
#pragma once

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "IKivFsScanner.h"
#include "Model/KivNodeFactory.h"

struct BlockCall {
    uint64_t nFirst;
    uint64_t nCount;
};

class CountingScanner : public IKivFsScanner {
public:
    explicit CountingScanner(int nType = KIV_SCANNER_FAT) : m_nType(nType) {}

    int SetStorage(IKivDevStor* p) override {
        m_pStor = p;
        return 1;
    }
    int SetBlockSectors(uint32_t n) override {
        m_nBlockSectors = n;
        return 1;
    }
    int BeginScan() override {
        ++m_nBegin;
        return m_nBeginResult;
    }
    int EndScan() override { return ++m_nEnd; }
    int AnalyzeBlock(uint64_t nFirst, uint64_t nCount, uint64_t* pStats) override {
        {
            std::lock_guard<std::mutex> lock(m_mtx);
            m_calls.push_back({nFirst, nCount});
            // What the per-block counters held when the block came in, then dirty them all.
            for (int i = 0; i < KIV_SCAN_STAT_COUNT; ++i) m_statsSeen.push_back(pStats[i]);
        }
        for (int i = 0; i < KIV_SCAN_STAT_COUNT; ++i) pStats[i] += 1;
        if (m_pStor && m_bReadBlock) {
            std::vector<uint8_t> buf(nCount * m_pStor->GetSectorSize());
            m_bReadOk = m_pStor->ReadSectors(buf.data(), nFirst, nCount) && m_bReadOk;
            if (!buf.empty()) m_firstBytes.push_back(buf[0]);
        }
        if (m_nThrowOnCall >= 0 && static_cast<int>(m_calls.size()) == m_nThrowOnCall + 1)
            throw std::runtime_error("test failure");
        while (m_bHold) std::this_thread::yield();
        for (int n : m_failOnCalls)
            if (static_cast<int>(m_calls.size()) == n + 1) return KIV_E_IO;
        return 0;
    }
    int EnumParts(std::vector<CKivScanResPart*>* pList) override {
        for (const auto& p : m_parts) {
            auto* pPart = new CKivScanResPart(p.m_nType, 512);
            pPart->m_nFirstSector = p.m_nFirstSector;
            pPart->m_nSectorCount = p.m_nSectorCount;
            pPart->m_nEvidenceA = p.m_nEvidenceA;
            pPart->m_nEvidenceB = p.m_nEvidenceB;
            pPart->m_nEvidenceC = p.m_nEvidenceC;
            pList->push_back(pPart);
        }
        return 0;
    }
    int SetRawFileList(CRawFileList* pList) override {
        m_pRawList = pList;
        return 0;
    }
    int SaveState(IKivStream*) override { return 0; }
    int LoadState(IKivStream*) override { return 0; }
    int GetScannerType() override { return m_nType; }
    IKivFsNode* BuildTree(CKivScanResPart* pPart, IKivDevStor*, uint32_t, IKivEnumResFilesCallback*) override {
        ++m_nBuilds;
        if (!m_bBuild) return nullptr;
        IKivFsNode* pNode = KivNewFsNode(nullptr);
        pNode->SetFsType(pPart->m_nType);
        return pNode;
    }
    int CanHandle(int32_t nType) override {
        for (int32_t n : m_handled)
            if (n == nType) return 1;
        return 0;
    }

    struct PartSpec {
        int32_t m_nType;
        uint64_t m_nFirstSector;
        uint64_t m_nSectorCount;
        uint64_t m_nEvidenceA;
        uint64_t m_nEvidenceB;
        uint64_t m_nEvidenceC;
    };

    int m_nType;
    IKivDevStor* m_pStor = nullptr;
    uint32_t m_nBlockSectors = 0;
    int m_nBegin = 0;
    int m_nEnd = 0;
    int m_nBuilds = 0;
    int m_nThrowOnCall = -1;  // index of the AnalyzeBlock call that throws
    std::vector<int> m_failOnCalls;  // indexes of the AnalyzeBlock calls that answer a failure
    int m_nBeginResult = 0;
    bool m_bReadBlock = false;
    bool m_bReadOk = true;
    bool m_bBuild = true;
    std::atomic<bool> m_bHold{false};
    std::mutex m_mtx;
    std::vector<BlockCall> m_calls;
    std::vector<uint64_t> m_statsSeen;
    std::vector<uint8_t> m_firstBytes;
    std::vector<PartSpec> m_parts;
    std::vector<int32_t> m_handled;
    CRawFileList* m_pRawList = nullptr;
};
