#include "Analysers/FileAUAnalyser.h"

#include "Analysers/KivAnalyserFactories.h"

bool FileAUAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileAUAnalyser() { return new FileAUAnalyser; }
