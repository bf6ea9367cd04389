#include "Analysers/FileZIPAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileZIPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileZIPAnalyser() { return new FileZIPAnalyser; }
