#include "Analysers/FileRTFAnalyser.h"

bool FileRTFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileRTFAnalyser() { return new FileRTFAnalyser; }
