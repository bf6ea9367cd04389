#include "Analysers/FilePSDAnalyser.h"

bool FilePSDAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePSDAnalyser() { return new FilePSDAnalyser; }
