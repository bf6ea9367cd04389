// The serial number of the disk behind a device path, which ties a saved scan to its medium.
#pragma once

#include <string>

// A partition's is its disk's; empty for an image file or when the system tells none.
std::string KivMediumSerial(const std::string& strPath);
