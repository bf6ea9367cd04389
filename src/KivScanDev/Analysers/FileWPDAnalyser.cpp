#include "Analysers/FileWPDAnalyser.h"

bool FileWPDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileWPDAnalyser() { return new FileWPDAnalyser; }
