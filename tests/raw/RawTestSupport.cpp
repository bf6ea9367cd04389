#include "RawTestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "IKivFsScanner.h"
#include "KivScanPass.h"
#include "Model/IKivAttrDataInfo.h"
#include "Raw/CKivRAWScanner.h"

uint64_t RunRawScan(IKivDevStor* pDev, CRawFileList* pList, uint32_t nBlockSectors, int nRingData) {
    IKivFsScanner* pScanner = CreateRawScanner();
    if (nRingData >= 0) static_cast<CKivRAWScanner*>(pScanner)->SetRingDataBlocks(size_t(nRingData));
    uint64_t stats[KIV_SCAN_STAT_COUNT] = {};
    pScanner->SetRawFileList(pList);
    KivScanPass(pScanner, pDev, nBlockSectors, stats);
    pScanner->Release();
    return stats[KIV_STAT_ITEMS_FOUND];
}

namespace {

void Walk(IKivFileNode* pDir, const std::string& path, std::map<std::string, RawTreeFile>* pOut,
          std::vector<std::string>* pFolders) {
    for (IKivFileNode* p = pDir->GetFirstChild(); p; p = p->GetNextSibling()) {
        IKivFileAttr* a = p->GetAttr();
        std::string name = a->GetName();
        if (a->GetAttributes() & KIV_FA_DIRECTORY) {
            std::string sub = path.empty() ? name : path + "/" + name;
            if (pFolders) pFolders->push_back(sub);
            Walk(p, sub, pOut, pFolders);
            continue;
        }
        RawTreeFile f;
        f.folder = path;
        f.nSize = a->GetSize();
        f.detail = a->GetTypeText();
        if (auto* pInfo = dynamic_cast<IKivAttrDataInfo*>(a))
            if (const char* pszWhy = pInfo->GetDataDamage()) f.damage = pszWhy;
        if (IDataRunList* pRuns = a->GetDataRunList()) {
            if (const KivDataRun* r = pRuns->First()) {
                f.nRunStart = r->nStart;
                f.nRunLength = r->nLength;
            }
            delete pRuns;
        }
        (*pOut)[name] = f;
    }
}

}  // namespace

std::map<std::string, RawTreeFile> FlattenRawTree(IKivFileNode* pRoot, std::vector<std::string>* pFolders) {
    std::map<std::string, RawTreeFile> out;
    if (pRoot) Walk(pRoot, "", &out, pFolders);
    return out;
}

std::string MakeCarvingImage(bool bBig, std::vector<ManifestEntry>* pManifest) {
    namespace fs = std::filesystem;
    fs::path dir = fs::temp_directory_path() / ("kiv-carve-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::string img = (dir / (bBig ? "big.img" : "small.img")).string();
    std::string man = img + ".tsv";
    std::string cmd = std::string("python3 '") + KIV_SOURCE_DIR + "/scripts/make-carving-image' '" + img + "' '" + man +
                      "'" + (bBig ? " --big" : "");
    if (std::system(cmd.c_str()) != 0) return {};
    std::ifstream in(man);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        ManifestEntry e;
        ls >> e.nStart >> e.nSize >> e.nTypeId >> e.name;
        pManifest->push_back(e);
    }
    return img;
}
