#include "Analysers/FileDBXAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileDBXAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileDBXAnalyser() { return new FileDBXAnalyser; }
