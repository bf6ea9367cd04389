#include "RawTypeTable.h"

#include <array>
#include <mutex>

#include "KivLog.h"
#include "platform/KivText.h"

namespace {

struct FixedRow {
    const char* pszExt;
    const char* pszFolder;
    const char* pszAnalysers[2];
};

constexpr FixedRow kFixed[RawTypeTable::kFixedCount] = {
    {"Raw", "Raw", {}},
    {"3DS", "3DS", {"File3DSAnalyser"}},
    {"3GP", "3GP Multimedia", {"File3GPAnalyser"}},
    {"ADP", "Access Project", {"FileONEAnalyser"}},
    {"ANI", "ANI", {"FileRIFFAnalyser"}},
    {"AI", "Adobe Illustrator", {"FilePDFAnalyser"}},
    {"ASF", "Audio Streaming Format", {"FileASFAnalyser"}},
    {"AU", "AU", {"FileAUAnalyser"}},
    {"AVI", "Audio Video Interleave", {"FileRIFFAnalyser"}},
    {"BMP", "Bitmap", {"FileBMPAnalyser"}},
    {"CAB", "Cabinet", {"FileCABAnalyser"}},
    {"CDR", "Corel Draw", {"FileRIFFAnalyser"}},
    {"CHM", "CHM", {"FileCHMAnalyser"}},
    {"CLK", "Corel Draw Corel RAVE Image", {"FileRIFFAnalyser"}},
    {"CMX", "Corel Draw Vector Image", {"FileRIFFAnalyser"}},
    {"CPT", "Corel Photo Paint Image", {"FileCPTAnalyser"}},
    {"CRW", "Canon Raw graphics", {"FileCRWAnalyser"}},
    {"CSL", "CSL file", {"FileRIFFAnalyser"}},
    {"CUR", "Cursor file", {"FileICOAnalyser"}},
    {"DBX", "Outlook Express Email", {"FileDBXAnalyser"}},
    {"DLL", "DLL", {}},
    {"DOC", "MS Word Document", {"FileOLEAnalyser", "FileLowDocAnalyser"}},
    {"DWG", "AutoCAD Drawing", {"FileDWGAnalyser"}},
    {"DXF", "AutoCAD DXF", {"FileDXFAnalyser"}},
    {"EMF", "Enhanced Metafile", {"FileEMFAnalyser"}},
    {"EPS", "Encapsulated Postscript", {"FileEPSAnalyser"}},
    {"EXE", "EXE", {}},
    {"FH11", "Freehand 10", {"FileFH11Analyser"}},
    {"GIF", "GIF graphics", {"FileGIFAnalyser"}},
    {"GZ", "GZIP compression", {"FileGZAnalyser"}},
    {"HLP", "Help", {"FileHLPAnalyser"}},
    {"HTM", "HTML Documents", {"FileHTMAnalyser", "FileUnicodeHTMAnalyser"}},
    {"ICO", "Icon", {"FileICOAnalyser"}},
    {"JPG", "JPEG Graphics", {"FileJPGAnalyser"}},
    {"LZH", "LZH compression", {"FileLZHAnalyser"}},
    {"MAX", "3d Studio Max", {"FileOLEAnalyser"}},
    {"MID", "Music", {"FileMIDAnalyser"}},
    {"MDB", "Access Database", {"FileMDBAnalyser"}},
    {"MNY", "MS Money", {"FileMNYAnalyser"}},
    {"MOF", "MOF file", {"FileOLEAnalyser"}},
    {"MOV", "MOV", {"FileMOVAnalyser"}},
    {"MP3", "MP3", {"FileMP3Analyser"}},
    {"MP4", "MP4", {"FileMP4Analyser"}},
    {"MPP", "Microsoft Project file", {"FileOLEAnalyser"}},
    {"OLE", "Compound file", {"FileOLEAnalyser"}},
    {"ONE", "MS OneNote file", {"FileONEAnalyser"}},
    {"PDF", "Adobe Portable Document", {"FilePDFAnalyser"}},
    {"PNG", "Portable Network Graphic file", {"FilePNGAnalyser"}},
    {"PPT", "MS PowerPoint Presentation Document", {"FileOLEAnalyser"}},
    {"PUB", "MS Publisher Document", {"FileOLEAnalyser"}},
    {"PSD", "Adobe Photoshop", {"FilePSDAnalyser"}},
    {"PSP", "Paint Shop Pro file", {"FilePSPAnalyser"}},
    {"PST", "Outlook Email", {"FilePSTAnalyser"}},
    {"QPW", "QuattroPro 7", {"FileOLEAnalyser"}},
    {"RAR", "RAR file", {"FileRARAnalyser"}},
    {"RIFF", "RIFF Multimedia file", {"FileRIFFAnalyser"}},
    {"RTF", "Rich Text Document", {"FileRTFAnalyser"}},
    {"SHW", "Corel Presentation File", {"FileOLEAnalyser", "FileWPDAnalyser"}},
    {"SWF", "ShockWave Flash", {"FileSWFAnalyser"}},
    {"TAR", "TAR archive", {"FileTARAnalyser"}},
    {"TIF", "Tagged Image", {"FileTIFAnalyser"}},
    {"TTF", "True Type Font file", {"FileTTFAnalyser"}},
    {"VSD", "MS Visio", {"FileOLEAnalyser"}},
    {"WAV", "WAVE Multimedia file", {"FileRIFFAnalyser"}},
    {"WPD", "WordPerfect file", {"FileOLEAnalyser", "FileWPDAnalyser"}},
    {"WPG", "WordPerfect Documents and Graphics v8", {"FileOLEAnalyser", "FileWPDAnalyser"}},
    {"WMF", "WMF", {"FileWMFAnalyser"}},
    {"XLS", "MS Excel", {"FileOLEAnalyser"}},
    {"ZIP", "Zip", {"FileZIPAnalyser"}},
    {"DOCX", "MS DOCX", {"FileZIPAnalyser"}},
    {"XLSX", "MS XLSX", {"FileZIPAnalyser"}},
    {"PPTX", "MS PPTX", {"FileZIPAnalyser"}},
    {"ACCDB", "MS ACCDB", {"FileMDBAnalyser"}},
    {"NEF", "NEF", {"FileTIFAnalyser"}},
    {"MPG", "", {"CustomFileAnalyser"}},
    {"HEIC", "HEIF Image", {"FileHEIFAnalyser"}},
    {"AVIF", "AVIF Image", {"FileHEIFAnalyser"}},
    {"CR3", "Canon Raw 3", {"FileCR3Analyser"}},
    {"MKV", "Matroska Video", {"FileMKVAnalyser"}},
    {"WEBM", "WebM Video", {"FileMKVAnalyser"}},
    {"FLAC", "FLAC Audio", {"FileFLACAnalyser"}},
    {"OGG", "Ogg Audio", {"FileOGGAnalyser"}},
    {"OPUS", "Opus Audio", {"FileOGGAnalyser"}},
    {"WEBP", "WebP Image", {"FileRIFFAnalyser"}},
    {"7Z", "7-Zip Archive", {"File7ZAnalyser"}},
    {"XZ", "XZ Compression", {"FileXZAnalyser"}},
    {"BZ2", "BZIP2 Compression", {"FileBZ2Analyser"}},
    {"DB", "SQLite Database", {"FileSQLiteAnalyser"}},
    {"ODT", "OpenDocument Text", {"FileZIPAnalyser"}},
    {"ODS", "OpenDocument Spreadsheet", {"FileZIPAnalyser"}},
    {"ODP", "OpenDocument Presentation", {"FileZIPAnalyser"}},
    {"ODG", "OpenDocument Drawing", {"FileZIPAnalyser"}},
    {"EPUB", "EPUB Book", {"FileZIPAnalyser"}},
    {"CR2", "Canon Raw 2", {"FileTIFAnalyser"}},
    {"ARW", "Sony Raw", {"FileTIFAnalyser"}},
    {"DNG", "Digital Negative", {"FileTIFAnalyser"}},
    {"ORF", "Olympus Raw", {"FileTIFAnalyser"}},
    {"RW2", "Panasonic Raw", {"FileTIFAnalyser"}},
    {"PEF", "Pentax Raw", {"FileTIFAnalyser"}},
    {"RAF", "Fujifilm Raw", {"FileRAFAnalyser"}},
};

constexpr size_t kCustomSlots = RawTypeTable::kCustomLast - RawTypeTable::kCustomFirst + 1;

// The custom rows: extensions in order of first sight. Guarded, although one scan at a time is
// the rule, so that a stray reader on another thread sees whole strings.
struct CustomPart {
    std::mutex lock;
    std::array<std::string, kCustomSlots> exts;
    size_t nUsed = 0;
};

CustomPart& Custom() {
    static CustomPart s_part;
    return s_part;
}

// A user-defined extension as it will stand in file and folder names: whole (up to the 16
// characters a header may give, so "TAR.GZ" stays itself), without path separators or control
// characters, and never a name of dots alone.
std::string CustomExtName(const char* pszExt) {
    std::string s(pszExt);
    if (s.size() > RawTypeTable::kMaxCustomExt) {
        size_t n = RawTypeTable::kMaxCustomExt;
        while (n > 0 && (static_cast<uint8_t>(s[n]) & 0xC0) == 0x80) --n;  // keep UTF-8 sequences whole
        s.resize(n);
    }
    for (char& c : s)
        if (c == '/' || c == '\\' || static_cast<uint8_t>(c) < 0x20 || c == 0x7F) c = '_';
    if (s.find_first_not_of('.') == std::string::npos)
        for (char& c : s) c = '_';
    return s;
}

}  // namespace

RawTypeTable& RawTypeTable::Get() {
    static RawTypeTable s_table;
    return s_table;
}

bool RawTypeTable::IsValidId(uint32_t nId) const {
    if (nId < kFixedCount) return true;
    if (nId < kCustomFirst || nId > kCustomLast) return false;
    std::lock_guard<std::mutex> g(Custom().lock);
    return nId - kCustomFirst < Custom().nUsed;
}

std::string RawTypeTable::GetExt(uint32_t nId) const {
    if (nId < kFixedCount) return kFixed[nId].pszExt;
    if (nId < kCustomFirst || nId > kCustomLast) return {};
    std::lock_guard<std::mutex> g(Custom().lock);
    return Custom().exts[nId - kCustomFirst];
}

std::string RawTypeTable::GetFolderName(uint32_t nId) const {
    return nId < kFixedCount ? kFixed[nId].pszFolder : "";
}

std::string RawTypeTable::GetFolderOrExt(uint32_t nId) const {
    std::string s = GetFolderName(nId);
    return s.empty() ? GetExt(nId) : s;
}

std::vector<std::string_view> RawTypeTable::GetAnalyserNames(uint32_t nId) const {
    std::vector<std::string_view> names;
    if (nId < kFixedCount)
        for (const char* psz : kFixed[nId].pszAnalysers)
            if (psz) names.emplace_back(psz);
    return names;
}

bool RawTypeTable::FindByExt(const char* pszExt, uint32_t* pId) const {
    if (!pszExt || !*pszExt) return false;
    for (uint32_t i = 0; i < kFixedCount; ++i)
        if (KivStrICmp(kFixed[i].pszExt, pszExt) == 0) {
            if (pId) *pId = i;
            return true;
        }
    std::lock_guard<std::mutex> g(Custom().lock);
    for (size_t i = 0; i < Custom().nUsed; ++i)
        if (KivStrICmp(Custom().exts[i].c_str(), pszExt) == 0) {
            if (pId) *pId = static_cast<uint32_t>(kCustomFirst + i);
            return true;
        }
    return false;
}

KivResult RawTypeTable::GetCustomId(const char* pszExt, uint32_t* pId) {
    if (!pszExt || !*pszExt || !pId) return KIV_RETERR(KIV_E_INVALIDARG);
    std::string ext = CustomExtName(pszExt);
    CustomPart& c = Custom();
    std::lock_guard<std::mutex> g(c.lock);
    for (size_t i = 0; i < c.nUsed; ++i)
        if (KivStrICmp(c.exts[i].c_str(), ext.c_str()) == 0) {
            *pId = static_cast<uint32_t>(kCustomFirst + i);
            return KIV_OK;
        }
    if (c.nUsed == kCustomSlots) return KIV_RETERR(KIV_E_STATE);  // every custom id is taken
    c.exts[c.nUsed] = ext;
    *pId = static_cast<uint32_t>(kCustomFirst + c.nUsed);
    ++c.nUsed;
    return KIV_OK;
}

size_t RawTypeTable::GetCustomCount() const {
    std::lock_guard<std::mutex> g(Custom().lock);
    return Custom().nUsed;
}

void RawTypeTable::ClearCustom() {
    std::lock_guard<std::mutex> g(Custom().lock);
    for (size_t i = 0; i < Custom().nUsed; ++i) Custom().exts[i].clear();
    Custom().nUsed = 0;
}
