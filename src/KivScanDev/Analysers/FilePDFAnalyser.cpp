#include "Analysers/FilePDFAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FilePDFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePDFAnalyser() { return new FilePDFAnalyser; }
