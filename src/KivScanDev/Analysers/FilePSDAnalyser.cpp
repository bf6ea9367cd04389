#include "Analysers/FilePSDAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FilePSDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePSDAnalyser() { return new FilePSDAnalyser; }
