#include "Analysers/FilePSTAnalyser.h"

bool FilePSTAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFilePSTAnalyser() { return new FilePSTAnalyser; }
