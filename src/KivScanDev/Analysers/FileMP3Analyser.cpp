#include "Analysers/FileMP3Analyser.h"

bool FileMP3Analyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileMP3Analyser() { return new FileMP3Analyser; }
