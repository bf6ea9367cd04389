// Recycle-bin folders: recognising them, pairing information entries ("$I..." / "#I...") with data
// entries ("$R..." / "#R..."), and giving a data entry the name it had before deletion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "KivScanResult.h"

// "Recycler", "Recycled", "$Recycle.Bin" or "$RECYCLE.BI0", in any case.
bool KivIsRecycleBinName(const char* pszName);
// Names longer than one character starting with "$I"/"#I" (info) or "$R"/"#R" (data).
bool KivIsRecycleInfoName(const char* pszName);
bool KivIsRecycleDataName(const char* pszName);
// The partner's name (second character I <-> R, case kept), or empty when there is none.
std::string KivRecyclePartnerName(const char* pszName);

// Finds the partner of pszName among the candidates (names compared exactly), removes it from the
// list and answers it; null when absent.
IKivFileNode* KivTakeRecyclePartner(const char* pszName, std::vector<IKivFileNode*>* pCandidates);

// The original file name recorded in an information entry's first bytes (UTF-16LE), or empty when
// there is no drive-qualified path in its first 512 characters.
std::string KivRecycleOriginalName(std::span<const uint8_t> info);

// Reads up to nLen bytes of the information node's data into pBuf; answers the bytes read.
using KivRecycleReader = std::function<size_t(IKivFileNode* pInfoNode, uint8_t* pBuf, size_t nLen)>;
// Joins a pair (either order): reads at most 1024 bytes of the information entry and renames the
// data entry. Answers true when the data entry got a name.
bool KivJoinRecyclePair(IKivFileNode* pA, IKivFileNode* pB, const KivRecycleReader& read);

// Pairs the information and data entries of every recycle-bin folder below pTop and of the folders
// inside it, each folder's entries among themselves (for trees built without pairing on the way).
void KivPairRecycleBins(IKivFileNode* pTop, const KivRecycleReader& read);
