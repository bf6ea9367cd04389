// The one place where the program keeps what crosses its pages: the components it bound (device
// enumerator, file-type filter, scan engine), what each step produced (device lists, the chosen
// device, the chosen types, the result partitions, the display trees) and the hand-over between
// them. Front ends never hold engine objects; they ask the back-stage and the drivers.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "CKivOutputGuard.h"
#include "CKivScanSession.h"
#include "IKivEnumDevEx.h"
#include "IKivFilter.h"
#include "IKivScanDev.h"

class CKivFileNodeMgr;
class CKivUiNode;

class CDataBackstage {
public:
    // The program's one back-stage (created on first use, reset at exit).
    static CDataBackstage& Get();

    CDataBackstage();
    ~CDataBackstage();
    CDataBackstage(const CDataBackstage&) = delete;
    CDataBackstage& operator=(const CDataBackstage&) = delete;

    // Devices. Binds "KivEnumDevEx" on first use (0x005 when it cannot be had; the enumerator is
    // then still given as null); a first binding forces a refresh, which empties both lists and
    // lists disks and partitions anew. The lists stay the back-stage's (pointers into them are
    // good until the next refresh or reset).
    KivResult GetEnumDevData(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts, IKivEnumDevEx** ppEnum,
                             bool bRefresh);
    // Opens the block devices the program may not open itself (udisks2 for a user's program):
    // handed to the device enumerator, now or when it is bound. Borrowed: it must outlive the
    // back-stage's reset.
    void SetDevOpener(IKivDevOpener* pOpener);
    // Image files listed as disks after the machine's own (takes effect at the next refresh).
    KivResult SetImagePaths(const std::vector<std::string>& paths, uint32_t nSectorSize);
    // The row of the device list (disks or partitions, by the current mode) that shows the disk of
    // the image file strPath: in partition mode its first partition. -1 when the list has none.
    int RowOfImage(const std::string& strPath);
    // The step of the last GetEnumDevData that failed, so that a front end names it.
    enum DevStep { DEV_OK, DEV_LIBRARY, DEV_IMAGES, DEV_DISKS, DEV_PARTS };
    DevStep GetDevFailure() const { return m_nDevFailure; }
    // What the last listing could not list (disks that cannot be opened, images that are none).
    std::vector<KivDevProblem> GetDevProblems() const;
    // The lists as they stand (nothing bound, nothing refreshed).
    const std::vector<DiskInfo>& GetDisks() const { return m_disks; }
    const std::vector<PartInfo>& GetParts() const { return m_parts; }
    // The index of the disk record holding a disk in the lists as they stand, -1 when none does.
    int DiskIndexOf(const IKivDevDisk* pDisk) const;
    // Opens an image file or a device by its path, read-only, outside the lists (through the
    // device opener when one is set): one reference for the caller. 0x005 when the device library
    // cannot be had; the library's code when the path cannot be opened.
    KivResult OpenImage(const std::string& strPath, uint32_t nSectorSize, IKivDevStor** ppStor);
    // 0x003 without an enumerator or an empty disk list.
    KivResult SetEnumDevResult(uint32_t nIndex);
    KivResult GetEnumDevResult(std::vector<DiskInfo>* pDisks, std::vector<PartInfo>* pParts, uint32_t* pIndex);
    // 0 whole disks, 1 partitions and volumes (the default).
    void SetDevMode(int nMode) { m_nDevMode = nMode == 0 ? 0 : 1; }
    int GetDevMode() const { return m_nDevMode; }
    void SetDevTexts(const std::array<std::string, 4>& texts) { m_devTexts = texts; }
    const std::array<std::string, 4>& GetDevTexts() const { return m_devTexts; }
    // A storage chosen outside the device lists (an image opened by path): the scan then takes it
    // instead of the selected record. Takes a reference; null clears.
    void SetDirectDevice(IKivDevStor* pStor);
    IKivDevStor* GetDirectDevice() const { return m_pDirectStor; }

    // File types. Binds "KivFilter" on first use and initialises it with "KivFilter.ini"; the
    // catalogue is read once.
    KivResult GetFilterData(IKivFilter** ppFilter, std::vector<FilterItem>* pCatalogue);
    // 0x003 without a filter or with an empty catalogue.
    KivResult SetFilterResult(const KivFilterSet& settings);
    KivResult GetFilterResult(KivFilterSet* pSettings) const;

    // The scan. GetScanData binds a fresh engine when none is bound and empties the scan result.
    KivResult GetScanData(IKivScanDev** ppEngine);
    // Gives the bound engine its storage (it is then stopped and uninitialised at the reset).
    KivResult InitScanEngine(IKivDevStor* pStor);
    // The storage the engine was given (null before), and the path the user knows it by.
    IKivDevStor* GetScanDevice() const { return m_pScanStor; }
    void SetScanMediumPath(const std::string& strPath) { m_strScanPath = strPath; }
    const std::string& GetScanMediumPath() const { return m_strScanPath; }
    // The one check of a path the program is about to write against that medium.
    KivOutputVerdict CheckOutput(const std::string& strPath, KivOutput nKind) const {
        return CKivOutputGuard::Check(m_strScanPath, strPath, nKind);
    }
    // The file types of that scan as a session file names them ("" for every type).
    void SetScanTypes(const std::string& strTypes) { m_strScanTypes = strTypes; }
    const std::string& GetScanTypes() const { return m_strScanTypes; }
    // A saved scan taken over before its end: the next scan goes on with the bound engine where it
    // stopped and keeps saving into its file. A file name of "" when none is pending.
    struct ResumeInfo {
        std::string strFile, strTypes;
        CKivScanSession::Medium medium;
    };
    void SetResumeSession(ResumeInfo info) { m_resume = std::move(info); }
    const ResumeInfo& GetResumeSession() const { return m_resume; }
    // Takes ownership of the partitions. 0x003 without an engine.
    KivResult SetScanResult(std::vector<CKivScanResPart*>&& parts);
    // Keeps the bound engine's scored partitions as the scan result: after a scan, or after a
    // saved scan was put back into the engine.
    KivResult TakeEngineResult();
    // The partitions stay the back-stage's. 0x003 without an engine.
    KivResult GetScanResult(std::vector<CKivScanResPart*>* pParts) const;

    // Results. The node manager is made on the first request (0x005 when that fails).
    KivResult GetEnumFileData(IKivScanDev** ppEngine, CKivFileNodeMgr** ppNodeMgr);
    KivResult SetEnumFileResult(CKivUiNode* pDirRoot, CKivUiNode* pTypeRoot);
    // 0x003 when the engine or either root is missing; copies out what it has.
    KivResult GetEnumFileResult(CKivUiNode** ppDirRoot, CKivUiNode** ppTypeRoot) const;
    KivResult GetRecoverData(IKivScanDev** ppEngine, CKivFileNodeMgr** ppNodeMgr) const;

    // Releases the engine, the node manager with its trees, the hand-over and the scan result.
    void ScanReset();
    // The scan reset, then the device state, the enumerator, the catalogue and the filter.
    void FullReset();

private:
    void ReleaseDeviceLists();

    IKivFilter* m_pFilter = nullptr;
    bool m_bFilterReady = false;
    std::vector<FilterItem> m_catalogue;
    KivFilterSet m_filterResult;
    IKivEnumDevEx* m_pEnum = nullptr;
    IKivDevOpener* m_pOpener = nullptr;
    std::vector<std::string> m_imagePaths;
    uint32_t m_nImageSectorSize = 0;
    std::vector<DiskInfo> m_disks;
    std::vector<PartInfo> m_parts;
    DevStep m_nDevFailure = DEV_OK;
    int m_nDevMode = 1;
    uint32_t m_nDevIndex = 0;
    std::array<std::string, 4> m_devTexts;
    IKivDevStor* m_pDirectStor = nullptr;
    IKivScanDev* m_pEngine = nullptr;
    bool m_bEngineInit = false;
    IKivDevStor* m_pScanStor = nullptr;
    std::string m_strScanPath, m_strScanTypes;
    ResumeInfo m_resume;
    std::vector<CKivScanResPart*> m_scanResult;
    CKivFileNodeMgr* m_pNodeMgr = nullptr;
    CKivUiNode* m_pDirRoot = nullptr;
    CKivUiNode* m_pTypeRoot = nullptr;
};
