#include "Analysers/FileUnicodeHTMAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileUnicodeHTMAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileUnicodeHTMAnalyser() { return new FileUnicodeHTMAnalyser; }
