// Collects the long-name entries in front of a short entry and hands out the name they spell.
// Live runs are checked by their sequence numbers and checksum; deleted runs have lost their
// sequence numbers (and the short entry its first byte) to the deletion mark, so the checksum is
// what ties them to the short entry and gives back the lost first byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "CKivFatDirEntry.h"

class CKivFatLongName {
public:
    void Reset();
    // A long-name entry (its 32 raw bytes).
    void Add(std::span<const uint8_t> raw);
    // The long name that belongs to this short entry, and for a deleted entry the first byte of
    // its short name recovered through the checksum (0 when unknown). Empty when the collected
    // run does not belong to it. Resets the run.
    std::string Take(const CKivFatDirEntry& entry, uint8_t* pFirstByte);

private:
    static constexpr size_t kMaxParts = 20;  // 20 x 13 characters hold the longest name
    std::vector<std::u16string> m_parts;      // in the order found (last part of the name first)
    uint8_t m_nChecksum = 0;
    int m_nNext = 0;         // live run: sequence number expected next
    bool m_bDeleted = false;
    bool m_bBroken = true;
};
