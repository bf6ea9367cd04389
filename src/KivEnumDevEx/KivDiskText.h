// Texts of the device records: bounded copies, bus names, disk descriptions, problem messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "IKivEnumDevEx.h"

// Copies s into a field of nCap bytes, zero-terminated, cut before a UTF-8 character that would
// not fit whole; the rest of the field is zeroed.
void KivCopyText(char* pDst, size_t nCap, const std::string& s);

// The bus name shown for a bus type; empty for types without one.
const char* KivBusName(uint32_t nBusType);

// A vendor text that begins with "(" says nothing and counts as empty.
bool KivVendorIsEmpty(const char* pszVendor);

// "<vendor>  <product>  <bus name>", or "<product>  <bus name>" without a vendor.
std::string KivDiskDescription(const KivDiskDescriptor& d);

// The message a user reads when a disk or image cannot be opened (err: errno; 0 = empty,
// ENOTBLK = neither a file nor a block device).
std::string KivOpenProblemText(const std::string& strPath, int err, bool bImage);
