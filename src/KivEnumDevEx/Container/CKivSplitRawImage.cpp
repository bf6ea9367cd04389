#include "CKivSplitRawImage.h"

#include <cerrno>

#include "platform/KivFileUtil.h"

namespace {
constexpr size_t kMaxPieces = 100000;
}

std::vector<std::string> CKivSplitRawImage::FindPieces(const std::string& strPath) {
    std::vector<std::string> out{strPath};
    size_t dot = strPath.find_last_of('.');
    size_t slash = strPath.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return out;
    std::string num = strPath.substr(dot + 1);
    if (num.size() < 3 || num.size() > 5 || num.find_first_not_of("0123456789") != std::string::npos) return out;
    uint64_t n = std::stoull(num);
    if (n > 1) return out;  // the set is opened by its first piece
    std::string stem = strPath.substr(0, dot + 1);
    for (uint64_t i = n + 1; out.size() < kMaxPieces; ++i) {
        std::string s = std::to_string(i);
        if (s.size() < num.size()) s.insert(0, num.size() - s.size(), '0');
        std::string next = stem + s;
        if (!KivIsFile(next)) break;
        out.push_back(next);
    }
    return out;
}

std::unique_ptr<CKivContainer> CKivSplitRawImage::Open(const std::vector<std::string>& pieces, std::string* pWhy) {
    std::unique_ptr<CKivSplitRawImage> p(new CKivSplitRawImage());
    uint64_t nAt = 0;
    for (const std::string& s : pieces) {
        Piece piece;
        piece.pFile = std::make_unique<CKivFile>();
        if (!piece.pFile->Open(s, CKivFile::Mode::kRead) || !piece.pFile->Size(&piece.nBytes)) {
            if (pWhy) *pWhy = "cannot open the piece " + s + " of the split image";
            return nullptr;
        }
        piece.nFirst = nAt;
        nAt += piece.nBytes;
        p->m_pieces.push_back(std::move(piece));
        p->m_info.files.push_back(s);
    }
    p->m_info.strFormat = "split raw";
    p->m_info.strDetail = std::to_string(pieces.size()) + " pieces";
    p->m_info.nBytes = nAt;
    return p;
}

size_t CKivSplitRawImage::PieceAt(uint64_t nOffset) const {
    size_t lo = 0, hi = m_pieces.size();
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        (m_pieces[mid].nFirst <= nOffset ? lo : hi) = mid;
    }
    return lo;
}

int64_t CKivSplitRawImage::DoRead(void* pBuf, uint64_t nOffset, uint64_t nBytes) {
    auto* p = static_cast<uint8_t*>(pBuf);
    uint64_t got = 0;
    for (size_t i = PieceAt(nOffset); got < nBytes && i < m_pieces.size(); ++i) {
        Piece& piece = m_pieces[i];
        uint64_t at = nOffset + got;
        if (at < piece.nFirst || at >= piece.nFirst + piece.nBytes) continue;  // an empty piece
        uint64_t n = std::min(nBytes - got, piece.nFirst + piece.nBytes - at);
        int64_t r = piece.pFile->ReadAt(at - piece.nFirst, p + got, n);
        if (r < 0) return -1;
        got += static_cast<uint64_t>(r);
        if (static_cast<uint64_t>(r) < n) break;  // a piece cut short since it was opened
    }
    return static_cast<int64_t>(got);
}
