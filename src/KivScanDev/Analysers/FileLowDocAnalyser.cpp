#include "Analysers/FileLowDocAnalyser.h"

bool FileLowDocAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileLowDocAnalyser() { return new FileLowDocAnalyser; }
