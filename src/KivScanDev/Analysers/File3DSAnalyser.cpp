#include "Analysers/File3DSAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool File3DSAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFile3DSAnalyser() { return new File3DSAnalyser; }
