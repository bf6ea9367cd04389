#include "Analysers/FileONEAnalyser.h"

bool FileONEAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileONEAnalyser() { return new FileONEAnalyser; }
