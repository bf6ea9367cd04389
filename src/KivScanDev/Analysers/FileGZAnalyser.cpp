#include "Analysers/FileGZAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileGZAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileGZAnalyser() { return new FileGZAnalyser; }
