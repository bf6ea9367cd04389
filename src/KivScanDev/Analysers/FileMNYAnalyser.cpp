#include "Analysers/FileMNYAnalyser.h"

bool FileMNYAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMNYAnalyser() { return new FileMNYAnalyser; }
