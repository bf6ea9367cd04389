#include "Analysers/KivAnalyserTable.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <typeindex>
#include <unordered_set>

#include "Analysers/KivAnalyserFactories.h"

// Until the RAW scanner brings the custom-header analyser, the list simply goes without it.
__attribute__((weak)) IRawFileAnalyser* CreateCustomFileAnalyser() { return nullptr; }

namespace {

using F = KivAnalyserFactory;

// Analysers per fixed type id, in the order they join the list; id 74 stands for the user-defined
// headers (kCustom).
struct TypeRow {
    F a = nullptr;
    F b = nullptr;
};

constexpr std::array<TypeRow, 100> kRows = {{
    {},                                                         // 0 Raw
    {CreateFile3DSAnalyser},                                    // 1 3DS
    {CreateFile3GPAnalyser},                                    // 2 3GP
    {CreateFileONEAnalyser},                                    // 3 ADP
    {CreateFileRIFFAnalyser},                                   // 4 ANI
    {CreateFilePDFAnalyser},                                    // 5 AI
    {CreateFileASFAnalyser},                                    // 6 ASF
    {CreateFileAUAnalyser},                                     // 7 AU
    {CreateFileRIFFAnalyser},                                   // 8 AVI
    {CreateFileBMPAnalyser},                                    // 9 BMP
    {CreateFileCABAnalyser},                                    // 10 CAB
    {CreateFileRIFFAnalyser},                                   // 11 CDR
    {CreateFileCHMAnalyser},                                    // 12 CHM
    {CreateFileRIFFAnalyser},                                   // 13 CLK
    {CreateFileRIFFAnalyser},                                   // 14 CMX
    {CreateFileCPTAnalyser},                                    // 15 CPT
    {CreateFileCRWAnalyser},                                    // 16 CRW
    {CreateFileRIFFAnalyser},                                   // 17 CSL
    {CreateFileICOAnalyser},                                    // 18 CUR
    {CreateFileDBXAnalyser},                                    // 19 DBX
    {},                                                         // 20 DLL
    {CreateFileOLEAnalyser, CreateFileLowDocAnalyser},          // 21 DOC
    {CreateFileDWGAnalyser},                                    // 22 DWG
    {CreateFileDXFAnalyser},                                    // 23 DXF
    {CreateFileEMFAnalyser},                                    // 24 EMF
    {CreateFileEPSAnalyser},                                    // 25 EPS
    {},                                                         // 26 EXE
    {CreateFileFH11Analyser},                                   // 27 FH11
    {CreateFileGIFAnalyser},                                    // 28 GIF
    {CreateFileGZAnalyser},                                     // 29 GZ
    {CreateFileHLPAnalyser},                                    // 30 HLP
    {CreateFileHTMAnalyser, CreateFileUnicodeHTMAnalyser},      // 31 HTM
    {CreateFileICOAnalyser},                                    // 32 ICO
    {CreateFileJPGAnalyser},                                    // 33 JPG
    {CreateFileLZHAnalyser},                                    // 34 LZH
    {CreateFileOLEAnalyser},                                    // 35 MAX
    {CreateFileMIDAnalyser},                                    // 36 MID
    {CreateFileMDBAnalyser},                                    // 37 MDB
    {CreateFileMNYAnalyser},                                    // 38 MNY
    {CreateFileOLEAnalyser},                                    // 39 MOF
    {CreateFileMOVAnalyser},                                    // 40 MOV
    {CreateFileMP3Analyser},                                    // 41 MP3
    {CreateFileMP4Analyser},                                    // 42 MP4
    {CreateFileOLEAnalyser},                                    // 43 MPP
    {CreateFileOLEAnalyser},                                    // 44 OLE
    {CreateFileONEAnalyser},                                    // 45 ONE
    {CreateFilePDFAnalyser},                                    // 46 PDF
    {CreateFilePNGAnalyser},                                    // 47 PNG
    {CreateFileOLEAnalyser},                                    // 48 PPT
    {CreateFileOLEAnalyser},                                    // 49 PUB
    {CreateFilePSDAnalyser},                                    // 50 PSD
    {CreateFilePSPAnalyser},                                    // 51 PSP
    {CreateFilePSTAnalyser},                                    // 52 PST
    {CreateFileOLEAnalyser},                                    // 53 QPW
    {CreateFileRARAnalyser},                                    // 54 RAR
    {CreateFileRIFFAnalyser},                                   // 55 RIFF
    {CreateFileRTFAnalyser},                                    // 56 RTF
    {CreateFileOLEAnalyser, CreateFileWPDAnalyser},             // 57 SHW
    {CreateFileSWFAnalyser},                                    // 58 SWF
    {CreateFileTARAnalyser},                                    // 59 TAR
    {CreateFileTIFAnalyser},                                    // 60 TIF
    {CreateFileTTFAnalyser},                                    // 61 TTF
    {CreateFileOLEAnalyser},                                    // 62 VSD
    {CreateFileRIFFAnalyser},                                   // 63 WAV
    {CreateFileOLEAnalyser, CreateFileWPDAnalyser},             // 64 WPD
    {CreateFileOLEAnalyser, CreateFileWPDAnalyser},             // 65 WPG
    {CreateFileWMFAnalyser},                                    // 66 WMF
    {CreateFileOLEAnalyser},                                    // 67 XLS
    {CreateFileZIPAnalyser},                                    // 68 ZIP
    {CreateFileZIPAnalyser},                                    // 69 DOCX
    {CreateFileZIPAnalyser},                                    // 70 XLSX
    {CreateFileZIPAnalyser},                                    // 71 PPTX
    {CreateFileMDBAnalyser},                                    // 72 ACCDB
    {CreateFileTIFAnalyser},                                    // 73 NEF
    {},                                                         // 74 MPG: user-defined headers
    {CreateFileHEIFAnalyser},                       // 75 HEIC
    {CreateFileHEIFAnalyser},                       // 76 AVIF
    {CreateFileCR3Analyser},                        // 77 CR3
    {CreateFileMKVAnalyser},                        // 78 MKV
    {CreateFileMKVAnalyser},                        // 79 WEBM
    {CreateFileFLACAnalyser},                       // 80 FLAC
    {CreateFileOGGAnalyser},                        // 81 OGG
    {CreateFileOGGAnalyser},                        // 82 OPUS
    {CreateFileRIFFAnalyser},                       // 83 WEBP
    {CreateFile7ZAnalyser},                         // 84 7Z
    {CreateFileXZAnalyser},                         // 85 XZ
    {CreateFileBZ2Analyser},                        // 86 BZ2
    {CreateFileSQLiteAnalyser},                     // 87 DB
    {CreateFileZIPAnalyser},                        // 88 ODT
    {CreateFileZIPAnalyser},                        // 89 ODS
    {CreateFileZIPAnalyser},                        // 90 ODP
    {CreateFileZIPAnalyser},                        // 91 ODG
    {CreateFileZIPAnalyser},                        // 92 EPUB
    {CreateFileTIFAnalyser},                        // 93 CR2
    {CreateFileTIFAnalyser},                        // 94 ARW
    {CreateFileTIFAnalyser},                        // 95 DNG
    {CreateFileTIFAnalyser},                        // 96 ORF
    {CreateFileTIFAnalyser},                        // 97 RW2
    {CreateFileTIFAnalyser},                        // 98 PEF
    {CreateFileRAFAnalyser},                        // 99 RAF
}};

constexpr F kCustom[] = {CreateCustomFileAnalyser};
constexpr uint32_t kCustomTypeId = 74;

struct Named {
    std::string_view name;
    F make;
};

// Every analyser class by name; the registry starts with one of each in this (sorted) order.
const Named kAll[] = {
    {"File3DSAnalyser", CreateFile3DSAnalyser},       {"File3GPAnalyser", CreateFile3GPAnalyser},
    {"FileASFAnalyser", CreateFileASFAnalyser},       {"FileAUAnalyser", CreateFileAUAnalyser},
    {"FileBMPAnalyser", CreateFileBMPAnalyser},       {"FileCABAnalyser", CreateFileCABAnalyser},
    {"FileCHMAnalyser", CreateFileCHMAnalyser},       {"FileCPTAnalyser", CreateFileCPTAnalyser},
    {"FileCRWAnalyser", CreateFileCRWAnalyser},       {"FileDBXAnalyser", CreateFileDBXAnalyser},
    {"FileDWGAnalyser", CreateFileDWGAnalyser},       {"FileDXFAnalyser", CreateFileDXFAnalyser},
    {"FileEMFAnalyser", CreateFileEMFAnalyser},       {"FileEPSAnalyser", CreateFileEPSAnalyser},
    {"FileFH11Analyser", CreateFileFH11Analyser},     {"FileGIFAnalyser", CreateFileGIFAnalyser},
    {"FileGZAnalyser", CreateFileGZAnalyser},         {"FileHLPAnalyser", CreateFileHLPAnalyser},
    {"FileHTMAnalyser", CreateFileHTMAnalyser},       {"FileICOAnalyser", CreateFileICOAnalyser},
    {"FileJPGAnalyser", CreateFileJPGAnalyser},       {"FileLZHAnalyser", CreateFileLZHAnalyser},
    {"FileLowDocAnalyser", CreateFileLowDocAnalyser}, {"FileMDBAnalyser", CreateFileMDBAnalyser},
    {"FileMIDAnalyser", CreateFileMIDAnalyser},       {"FileMNYAnalyser", CreateFileMNYAnalyser},
    {"FileMOVAnalyser", CreateFileMOVAnalyser},       {"FileMP3Analyser", CreateFileMP3Analyser},
    {"FileMP4Analyser", CreateFileMP4Analyser},       {"FileOLEAnalyser", CreateFileOLEAnalyser},
    {"FileONEAnalyser", CreateFileONEAnalyser},       {"FilePDFAnalyser", CreateFilePDFAnalyser},
    {"FilePNGAnalyser", CreateFilePNGAnalyser},       {"FilePSDAnalyser", CreateFilePSDAnalyser},
    {"FilePSPAnalyser", CreateFilePSPAnalyser},       {"FilePSTAnalyser", CreateFilePSTAnalyser},
    {"FileRARAnalyser", CreateFileRARAnalyser},       {"FileRIFFAnalyser", CreateFileRIFFAnalyser},
    {"FileRTFAnalyser", CreateFileRTFAnalyser},       {"FileSWFAnalyser", CreateFileSWFAnalyser},
    {"FileTARAnalyser", CreateFileTARAnalyser},       {"FileTIFAnalyser", CreateFileTIFAnalyser},
    {"FileTTFAnalyser", CreateFileTTFAnalyser},       {"FileUnicodeHTMAnalyser", CreateFileUnicodeHTMAnalyser},
    {"FileWMFAnalyser", CreateFileWMFAnalyser},       {"FileWPDAnalyser", CreateFileWPDAnalyser},
    {"FileZIPAnalyser", CreateFileZIPAnalyser},
    {"File7ZAnalyser", CreateFile7ZAnalyser},
    {"FileBZ2Analyser", CreateFileBZ2Analyser},
    {"FileCR3Analyser", CreateFileCR3Analyser},
    {"FileFLACAnalyser", CreateFileFLACAnalyser},
    {"FileHEIFAnalyser", CreateFileHEIFAnalyser},
    {"FileMKVAnalyser", CreateFileMKVAnalyser},
    {"FileOGGAnalyser", CreateFileOGGAnalyser},
    {"FileRAFAnalyser", CreateFileRAFAnalyser},
    {"FileSQLiteAnalyser", CreateFileSQLiteAnalyser},
    {"FileXZAnalyser", CreateFileXZAnalyser},
};

bool Offer(IRawFileAnalyser* p, std::span<const uint8_t> sector, CRawFileInfo* pInfo) {
    pInfo->m_nTypeId = 0;
    pInfo->m_nSize = 0;
    pInfo->m_nDamage = kCarveWhole;
    try {
        return p->CheckHeader(sector, pInfo);
    } catch (...) {
        return false;
    }
}

}  // namespace

std::span<const KivAnalyserFactory> KivAnalysersOfType(uint32_t nTypeId) {
    if (nTypeId >= kRows.size() || nTypeId == kCustomTypeId) return kCustom;
    const TypeRow& r = kRows[nTypeId];
    if (!r.a) return {};
    return {&r.a, r.b ? 2u : 1u};
}

void KivAnalyserDispatch::Build(std::span<IRawFileAnalyser* const> analysers) {
    m_all.assign(analysers.begin(), analysers.end());
    for (auto& v : m_byFirst) v.clear();
    std::unordered_set<std::type_index> seen;
    for (IRawFileAnalyser* p : analysers) {
        if (!p || !seen.insert(std::type_index(typeid(*p))).second) continue;
        std::string_view first = p->FirstBytes();
        if (first.empty()) {
            for (auto& v : m_byFirst) v.push_back(p);
        } else {
            bool bTaken[256] = {};
            for (char c : first) {
                auto b = static_cast<uint8_t>(c);
                if (!bTaken[b]) m_byFirst[b].push_back(p);
                bTaken[b] = true;
            }
        }
    }
}

IRawFileAnalyser* KivAnalyserDispatch::Find(std::span<const uint8_t> sector, CRawFileInfo* pInfo) const {
    if (sector.empty()) return nullptr;
    for (IRawFileAnalyser* p : m_byFirst[sector[0]])
        if (Offer(p, sector, pInfo)) return p;
    return nullptr;
}

IRawFileAnalyser* KivAnalyserDispatch::FindInOrder(std::span<const uint8_t> sector, CRawFileInfo* pInfo) const {
    for (IRawFileAnalyser* p : m_all)
        if (p && Offer(p, sector, pInfo)) return p;
    return nullptr;
}

RawAnalyserRegistry& RawAnalyserRegistry::Get() {
    static RawAnalyserRegistry s_registry;
    return s_registry;
}

RawAnalyserRegistry::RawAnalyserRegistry() {
    std::vector<Named> all(std::begin(kAll), std::end(kAll));
    std::sort(all.begin(), all.end(), [](const Named& a, const Named& b) { return a.name < b.name; });
    all.push_back({"CustomFileAnalyser", CreateCustomFileAnalyser});
    for (const Named& n : all)
        if (IRawFileAnalyser* p = n.make()) m_items.emplace_back(p);
    Rebuilt();
}

void RawAnalyserRegistry::Clear() {
    m_items.clear();
    Rebuilt();
}

void RawAnalyserRegistry::Rebuild(std::span<const uint32_t> typeIds) {
    m_items.clear();
    bool bCustom = false;
    for (uint32_t id : typeIds) {
        auto makers = KivAnalysersOfType(id);
        // The user-defined headers come last, whatever ids follow 74: a format that has its own
        // analyser is measured by it rather than taken to the next file's start.
        if (makers.data() == kCustom) {
            bCustom = true;
            continue;
        }
        for (F make : makers)
            if (IRawFileAnalyser* p = make()) m_items.emplace_back(p);
    }
    if (bCustom)
        if (IRawFileAnalyser* p = CreateCustomFileAnalyser()) m_items.emplace_back(p);
    Rebuilt();
}

IRawFileAnalyser* RawAnalyserRegistry::FindById(int32_t nId) const {
    for (const auto& p : m_items)
        if (static_cast<uint16_t>(p->GetId()) == static_cast<uint16_t>(nId)) return p.get();
    return nullptr;
}

void RawAnalyserRegistry::Rebuilt() {
    m_raw.clear();
    for (const auto& p : m_items) m_raw.push_back(p.get());
    m_dispatch.Build(m_raw);
}
