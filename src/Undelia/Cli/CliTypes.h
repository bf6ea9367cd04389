// The file types --types accepts: the extensions the engine carves by content, and the other
// extensions of the file-type catalogue, which only limit what the file-system trees keep.
#pragma once

#include <string>
#include <vector>

struct CliFileType {
    std::string ext;     // lower case, without the dot
    std::string folder;  // the folder carved files of the type go into; empty when not carved
};

// Every type --types accepts: the carving types first in table order, then the catalogue's
// other extensions in ascending order.
std::vector<CliFileType> CliKnownTypes();

// Checks every extension of a --types text. On an unknown one, answers false with the message
// that names it and the valid ones.
bool CliCheckTypes(const std::string& strTypes, std::string* pError);

// The "--types" text in one form ("jpg,png"), to compare two requests.
std::string CliJoinTypes(const std::string& strTypes);
// Splits "--types" text ("jpg, .PNG,doc") into lower-case extensions without dots.
std::vector<std::string> CliSplitTypes(const std::string& strTypes);
