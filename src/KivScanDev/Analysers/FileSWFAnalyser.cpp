#include "Analysers/FileSWFAnalyser.h"

bool FileSWFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileSWFAnalyser() { return new FileSWFAnalyser; }
