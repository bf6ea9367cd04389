#include "Analysers/FileWMFAnalyser.h"

bool FileWMFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileWMFAnalyser() { return new FileWMFAnalyser; }
