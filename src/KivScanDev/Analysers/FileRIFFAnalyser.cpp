#include "Analysers/FileRIFFAnalyser.h"

bool FileRIFFAnalyser::CheckHeader(std::span<const uint8_t> sector, CRawFileInfo* pInfo) { return false; }

IRawFileAnalyser* CreateFileRIFFAnalyser() { return new FileRIFFAnalyser; }
