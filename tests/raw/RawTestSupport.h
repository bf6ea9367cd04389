// Helpers of the carving tests: a scan loop like the engine's, the tree as a flat map, the
// generated test image and its manifest.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "IKivDevStor.h"
#include "IKivScanDev.h"
#include "Model/CRawFileInfo.h"
#include "Model/KivScanSettings.h"

// One file of the tree: its folder path below the carved-files root, size and first run.
struct RawTreeFile {
    std::string folder;
    uint64_t nSize = 0;
    uint64_t nRunStart = 0;
    uint64_t nRunLength = 0;
    std::string detail;
    std::string damage;  // the reason recovery would report, empty for a whole file
};

struct ManifestEntry {
    uint64_t nStart;
    uint64_t nSize;
    uint32_t nTypeId;
    std::string name;  // "-" when the file must not be listed
};

// Runs the carving scanner over the whole storage in blocks of nBlockSectors, as the engine does.
// Answers counter 7 of the statistics block. nRingData >= 0: the blocks of the ring kept in memory.
uint64_t RunRawScan(IKivDevStor* pDev, CRawFileList* pList, uint32_t nBlockSectors = 8192, int nRingData = -1);

// name -> file, for every file below pRoot; folder paths joined with '/'. Also collects folders.
std::map<std::string, RawTreeFile> FlattenRawTree(IKivFileNode* pRoot, std::vector<std::string>* pFolders = nullptr);

// Makes the test image in a fresh temporary folder; answers the image path (empty on failure).
std::string MakeCarvingImage(bool bBig, std::vector<ManifestEntry>* pManifest);

// Keeps the process-wide settings of one test and puts them back afterwards.
class SettingsGuard {
public:
    SettingsGuard() : m_saved(KivScanSettings::Get()) {}
    ~SettingsGuard() { KivScanSettings::Get() = m_saved; }

private:
    KivScanSettings m_saved;
};

// Progress callback that counts and may stop after a number of steps.
class TestProgress : public IKivEnumResFilesCallback {
public:
    int SetPhase(const char* pszText, uint64_t nTotal) override {
        title = pszText ? pszText : "";
        total = nTotal;
        phases[title].total = nTotal;
        return 0;
    }
    int SetProgress(uint64_t nValue) override {
        last = nValue;
        phases[title].last = nValue;
        return stopAfter && nValue >= stopAfter ? -1 : 0;
    }
    void OnPhaseEnd() override { ++ends; }
    int IsCancelled() override { return 0; }

    struct Phase {
        uint64_t total = 0, last = 0;
    };
    std::string title;  // the last phase's, with its total and last step
    uint64_t total = 0, last = 0, stopAfter = 0;
    std::map<std::string, Phase> phases;
    int ends = 0;
};
