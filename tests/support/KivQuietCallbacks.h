// Callbacks of a scan and of a tree build that listen to nothing and never stop the work.
#pragma once

#include "IKivScanDev.h"

struct KivQuietScan : IKivScanCallBack {
    void SetPos(uint64_t) override {}
    void SetRange(uint64_t, uint64_t) override {}
    int IsCancelled() override { return 0; }
    void OnBlockDone(const uint64_t*) override {}
    void OnScanEnd() override {}
};

struct KivQuietTree : IKivEnumResFilesCallback {
    int SetPhase(const char*, uint64_t) override { return 0; }
    int SetProgress(uint64_t) override { return 0; }
    void OnPhaseEnd() override {}
    int IsCancelled() override { return 0; }
};
