// Builds the raw import stream of an encrypted NTFS file: the stream header with the file's
// "$EFS" metadata, the data-stream header, then the encrypted data in blocks of at most 64 KiB.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "Model/IKivEfsMetadata.h"
#include "platform/KivFile.h"

class CKivEfsStream {
public:
    static constexpr size_t kStreamHeaderSize = 66;
    static constexpr size_t kDataHeaderSize = 42;
    static constexpr size_t kBlockHeaderSize = 512;
    static constexpr size_t kPieceSize = 65536;

    static std::array<uint8_t, kStreamHeaderSize> StreamHeader(uint32_t nMetadataLen);
    static std::array<uint8_t, kDataHeaderSize> DataStreamHeader();
    static std::array<uint8_t, kBlockHeaderSize> BlockHeader(uint32_t nPieceLen, uint16_t nPieceNo, uint32_t nValidLen);

    enum Outcome { kDone = 0, kFailed = 1, kCancelled = 2 };
    // Reads the intermediate file (stream header, metadata, encrypted data) from fdIn and writes
    // the import stream to fdOut. nFileSize is the entry's real size (the data may be longer, up
    // to a whole sector). isCancelled is asked after each piece; true stops the build.
    static Outcome Build(CKivFile& in, CKivFile& out, uint64_t nFileSize, const std::function<bool()>& isCancelled);
};
