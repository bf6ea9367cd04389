#include "Analysers/FileMOVAnalyser.h"

bool FileMOVAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMOVAnalyser() { return new FileMOVAnalyser; }
