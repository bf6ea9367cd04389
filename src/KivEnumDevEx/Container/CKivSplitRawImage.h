// A raw disk image cut into pieces (name.001, name.002, ...), read as one disk.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "CKivContainer.h"
#include "platform/KivFile.h"

class CKivSplitRawImage : public CKivContainer {
public:
    // The pieces that follow strPath when its name ends in a number (".001"): strPath itself and
    // the next ones found in order, or just strPath when it has no next piece.
    static std::vector<std::string> FindPieces(const std::string& strPath);
    static std::unique_ptr<CKivContainer> Open(const std::vector<std::string>& pieces, std::string* pWhy);

protected:
    int64_t DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) override;

private:
    struct Piece {
        std::unique_ptr<CKivFile> pFile;
        uint64_t nFirst = 0, nBytes = 0;  // where it lies in the disk
    };
    // The piece holding nOffset (the last one past the end).
    size_t PieceAt(uint64_t nOffset) const;

    std::vector<Piece> m_pieces;
};
