#include "Analysers/File3GPAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool File3GPAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFile3GPAnalyser() { return new File3GPAnalyser; }
