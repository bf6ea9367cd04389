// Files replaced whole or not at all: what a reader finds is the previous content or the new one,
// never a mixture, even when the process is killed or the power fails while writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes the pieces, in order, to a temporary file beside strPath, flushes it to the medium,
// renames it over strPath and flushes the folder. On failure the temporary file is removed,
// strPath is left as it was, and *pWhy (when given) holds the system's reason.
bool KivWriteFileAtomic(const std::string& strPath, const std::vector<std::pair<const void*, size_t>>& pieces,
                        std::string* pWhy);

// The whole content of a regular file; false with the reason when it cannot be read.
bool KivReadWholeFile(const std::string& strPath, std::vector<uint8_t>* pOut, std::string* pWhy);
