#include "Analysers/FileTTFAnalyser.h"

bool FileTTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileTTFAnalyser() { return new FileTTFAnalyser; }
