// The texts the program shows: error texts for result codes, hints, and the short forms of sizes,
// times and file-system kinds. Every text a user reads comes from the ini files that ship beside
// the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KivCommon.h"

// The text of "KivErrStr.ini" for the code (it may show the code itself).
std::string KivErrorText(KivResult nCode);
// The hint of section/key in "KivHintStr.ini"; the key itself when the file has none, so a
// damaged installation still shows something that can be looked up.
std::string KivHintText(const char* pszSection, const char* pszKey);
// The hint with its first "%s" replaced by the argument (nothing else in it is interpreted).
std::string KivHintFormat(const char* pszSection, const char* pszKey, const std::string& strArg);
std::string KivReplaceArg(const std::string& text, const std::string& strArg);

// A size as both front ends show it, in units of 1024 named as such: "512 B", "1.50 KiB",
// "1.00 GiB". A value that would round up to 1024 of a unit is shown in the next one.
std::string KivSizeTextIec(uint64_t nBytes);

// The State column of a results row, in the skin's words ("PanelFileRes"/"TxtDeleted", ...): a
// file is carved, deleted, lost or neither, and maybe damaged; a folder is gone itself or holds
// what is gone. Both desktop front ends show the same.
class CKivUiNode;
std::string KivNodeStateText(const CKivUiNode& node);
// A file time as the results show it, in local time ("2024-05-01 13:45"); "" for none.
std::string KivNodeTimeText(uint64_t nFileTime);

// What a recovery run did, line by line, as the result dialog and the final page show it: files
// and bytes written, damaged and failed counts, a stop, and the folders written into.
struct KivRecoverSummary;
std::vector<std::string> KivRecoverSummaryLines(const KivRecoverSummary& sum);

// A row of the device list, as both desktop programs show it: kind, name, size, label, and where
// it is mounted (for a disk, "in use" when anything on it is), in the skin's words.
struct DiskInfo;
struct PartInfo;
std::vector<std::string> KivDiskRowTexts(const DiskInfo& disk);
std::vector<std::string> KivPartRowTexts(const PartInfo& part);

// The engine's file-system type codes as text: "FAT12", "FAT16", "FAT32", "NTFS", "RAW", ...
const char* KivFsTypeName(int32_t nType);

// A program's arguments as one line a POSIX shell reads back into the same words: each word that
// holds anything but letters, digits and "%+,-./:=@_" in single quotes.
std::string KivCommandLineText(const std::vector<std::string>& args);
