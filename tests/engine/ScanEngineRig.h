// The pieces and callbacks the engine tests drive a scan with.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "CKivScanDev.h"
#include "CountingScanner.h"
#include "KivMemDevStor.h"

namespace engine_test {

class RecordingCallback : public IKivScanCallBack {
public:
    void SetPos(uint64_t n) override { positions.push_back(n); }
    void SetRange(uint64_t lo, uint64_t hi) override {
        nLow = lo;
        nHigh = hi;
        ++nRanges;
    }
    int IsCancelled() override { return nCancelAfter >= 0 && static_cast<int>(positions.size()) >= nCancelAfter; }
    void OnBlockDone(const uint64_t* p) override { items.push_back(p[KIV_STAT_ITEMS_FOUND]); }
    void OnScanEnd() override { ++nEnds; }

    std::vector<uint64_t> positions;
    std::vector<uint64_t> items;
    uint64_t nLow = 99, nHigh = 0;
    int nRanges = 0;
    std::atomic<int> nEnds{0};
    int nCancelAfter = -1;
};

class TreeCallback : public IKivEnumResFilesCallback {
public:
    int SetPhase(const char*, uint64_t) override { return 0; }
    int SetProgress(uint64_t) override { return 0; }
    void OnPhaseEnd() override {}
    int IsCancelled() override { return 0; }
};

// Engine over a device of nSectors 512-byte sectors (byte 0 of each sector = its block number).
struct Rig {
    explicit Rig(uint64_t nSectors, int nScanners = 1) {
        std::vector<uint8_t> data(nSectors * 512);
        for (uint64_t s = 0; s < nSectors; ++s) data[s * 512] = static_cast<uint8_t>(s / 8192 + 1);
        pDev = new KivMemDevStor(std::move(data));
        std::vector<CKivScanDev::ScannerMaker> makers;
        for (int i = 0; i < nScanners; ++i) {
            scanners.push_back(new CountingScanner(i == 0 ? KIV_SCANNER_FAT : KIV_SCANNER_RAW));
            CountingScanner* p = scanners.back();
            makers.emplace_back([p] {
                p->AddRef();  // the rig keeps its own reference for inspection
                return p;
            });
        }
        pEngine = new CKivScanDev(std::move(makers));
    }
    ~Rig() {
        pEngine->Release();
        for (CountingScanner* p : scanners) p->Release();
        pDev->Release();
    }
    KivResult Scan(RecordingCallback* pCb) {
        KivResult rc = pEngine->DoScan(nullptr, pCb);
        if (KivFailed(rc)) return rc;
        return pEngine->WaitForScanEnd(0);
    }
    KivMemDevStor* pDev;
    std::vector<CountingScanner*> scanners;
    CKivScanDev* pEngine;
};

}  // namespace engine_test
