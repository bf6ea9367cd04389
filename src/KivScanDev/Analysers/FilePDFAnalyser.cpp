#include "Analysers/FilePDFAnalyser.h"

bool FilePDFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePDFAnalyser() { return new FilePDFAnalyser; }
