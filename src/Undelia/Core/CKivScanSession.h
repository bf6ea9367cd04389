// A scan kept on disk: which medium was scanned (path, size, sector size, serial and a
// fingerprint of its first and last MiB), what the user asked for, the bad areas met and the
// engine's saved state. Listing and recovery then need no second pass over the medium, and an
// interrupted scan goes on from the block it reached.
//
// File layout (little-endian): 8-byte magic "UNDSCAN\x1a", 32-bit format version, 32-bit flags
// (0), 64-bit payload length, the payload, then the SHA-256 of everything before it. Saving
// writes a temporary file, flushes it and renames it over the old one, so that a crash or a kill
// leaves the last complete save.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "IKivDevStor.h"

class CKivScanSession {
public:
    static constexpr uint32_t kVersion = 1;
    static constexpr size_t kHeaderBytes = 24;
    static constexpr size_t kSumBytes = 32;
    // Bytes hashed at each end of the medium for its fingerprint.
    static constexpr uint64_t kFingerprintBytes = 1u << 20;

    struct Medium {
        std::string strPath;     // as given (image file, block device)
        uint64_t nBytes = 0;
        uint32_t nSectorSize = 0;
        std::string strSerial;   // block devices whose disk reports one; else empty
        std::array<uint8_t, 32> fingerprint{};
    };
    struct BadArea {
        uint64_t nFirst = 0, nEnd = 0;  // [nFirst, nEnd) in sectors of the medium
        uint32_t nKind = 0;
    };

    Medium medium;
    std::string strTypes;          // the file types asked for ("" = every type)
    uint64_t nSavedAt = 0;         // Unix time of the save
    uint64_t nBlocksDone = 0, nBlocks = 0;
    bool bComplete = false;
    std::vector<BadArea> badAreas;
    std::vector<uint8_t> engineState;  // what IKivScanDev::SaveScanState wrote

    // Saves atomically. False with a one-line reason.
    bool Save(const std::string& strPath, std::string* pWhy) const;
    // Reads and checks a session file. False with a one-line reason: not a session file, another
    // format version, cut short, damaged (checksum), unreadable.
    bool Load(const std::string& strPath, std::string* pWhy);
    // The same over bytes already in memory (strName names them in the reason).
    bool Parse(const std::vector<uint8_t>& bytes, const std::string& strName, std::string* pWhy);

    // The identity of the medium behind pStor (read through it: its first and last MiB) opened
    // from strPath. Sectors of pSkip are taken as zeros without being read, as the medium's reader
    // answers sectors of its bad-area map: a saved map's failed sectors are never read again.
    // False with the reason when those bytes cannot be read.
    static bool IdentifyMedium(IKivDevStor* pStor, const std::string& strPath, Medium* pOut, std::string* pWhy,
                               const std::vector<BadArea>* pSkip = nullptr);
    // Empty when `now` is the medium `saved` describes; otherwise one line saying what differs.
    static std::string Mismatch(const Medium& saved, const Medium& now);

private:
    std::vector<uint8_t> Payload() const;
};
