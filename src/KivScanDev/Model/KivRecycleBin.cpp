#include "KivRecycleBin.h"

#include <algorithm>
#include <cstring>

#include "KivByteReader.h"
#include "platform/KivPlatform.h"

namespace {

constexpr size_t kInfoBytes = 1024;  // read from an information entry
constexpr size_t kInfoChars = 512;   // searched for the path

bool HasPrefix2(const char* pszName, char c0, char c1) {
    return pszName && std::strlen(pszName) > 1 && pszName[0] == c0 && pszName[1] == c1;
}

bool IsPairName(const char* pszName, char c1) { return HasPrefix2(pszName, '$', c1) || HasPrefix2(pszName, '#', c1); }

}  // namespace

bool KivIsRecycleBinName(const char* pszName) {
    if (!pszName) return false;
    for (const char* psz : {"Recycler", "Recycled", "$Recycle.Bin", "$RECYCLE.BI0"})
        if (KivStrICmp(pszName, psz) == 0) return true;
    return false;
}

bool KivIsRecycleInfoName(const char* pszName) { return IsPairName(pszName, 'I'); }
bool KivIsRecycleDataName(const char* pszName) { return IsPairName(pszName, 'R'); }

std::string KivRecyclePartnerName(const char* pszName) {
    bool bInfo = KivIsRecycleInfoName(pszName);
    if (!bInfo && !KivIsRecycleDataName(pszName)) return {};
    std::string s = pszName;
    s[1] = bInfo ? 'R' : 'I';
    return s;
}

IKivFileNode* KivTakeRecyclePartner(const char* pszName, std::vector<IKivFileNode*>* pCandidates) {
    std::string partner = KivRecyclePartnerName(pszName);
    if (partner.empty() || !pCandidates) return nullptr;
    auto it = std::find_if(pCandidates->begin(), pCandidates->end(), [&](IKivFileNode* p) {
        return p && p->GetAttr() && partner == p->GetAttr()->GetName();
    });
    if (it == pCandidates->end()) return nullptr;
    IKivFileNode* p = *it;
    pCandidates->erase(it);
    return p;
}

std::string KivRecycleOriginalName(std::span<const uint8_t> info) {
    KivByteReader r(info);
    size_t nChars = std::min(info.size() / 2, kInfoChars);
    auto ch = [&](size_t i) { return r.U16At(2 * i); };
    // The path starts at its drive part ("X:\") and ends at its terminating 0; bytes after the 0
    // are leftovers and must not supply a backslash.
    size_t nDrive = nChars;
    for (size_t i = 0; i + 1 < nChars; ++i)
        if (ch(i) == u':' && ch(i + 1) == u'\\') {
            nDrive = i;
            break;
        }
    if (nDrive == nChars) return {};
    size_t nEnd = nDrive;
    while (nEnd < nChars && ch(nEnd) != 0) ++nEnd;
    size_t nSlash = nDrive + 1;
    for (size_t i = nDrive + 1; i < nEnd; ++i)
        if (ch(i) == u'\\') nSlash = i;
    std::u16string name;
    for (size_t i = nSlash + 1; i < nEnd; ++i) name.push_back(static_cast<char16_t>(ch(i)));
    return KivUtf16ToUtf8(name);
}

bool KivJoinRecyclePair(IKivFileNode* pA, IKivFileNode* pB, const KivRecycleReader& read) {
    if (!pA || !pB || !pA->GetAttr() || !pB->GetAttr() || !read) return false;
    if (!KivIsRecycleInfoName(pA->GetAttr()->GetName())) std::swap(pA, pB);
    if (!KivIsRecycleInfoName(pA->GetAttr()->GetName()) || !KivIsRecycleDataName(pB->GetAttr()->GetName()))
        return false;
    uint8_t buf[kInfoBytes] = {};
    size_t n = std::min(read(pA, buf, sizeof(buf)), sizeof(buf));
    std::string name = KivRecycleOriginalName(std::span<const uint8_t>(buf, n));
    if (name.empty()) return false;
    pB->GetAttr()->SetName(name.c_str());
    return true;
}

void KivPairRecycleBins(IKivFileNode* pTop, const KivRecycleReader& read) {
    struct Dir {
        IKivFileNode* pNode;
        bool bInBin;
    };
    std::vector<Dir> stack{{pTop, false}};
    while (!stack.empty()) {
        Dir d = stack.back();
        stack.pop_back();
        std::vector<IKivFileNode*> cands;
        for (IKivFileNode* c = d.pNode->GetFirstChild(); c; c = c->GetNextSibling()) {
            IKivFileAttr* a = c->GetAttr();
            if (!a) continue;
            if (a->GetAttributes() & KIV_FA_DIRECTORY) {
                stack.push_back({c, d.bInBin || KivIsRecycleBinName(a->GetName())});
                continue;
            }
            const char* pszName = a->GetName();
            if (!d.bInBin || !(KivIsRecycleInfoName(pszName) || KivIsRecycleDataName(pszName))) continue;
            if (IKivFileNode* pPartner = KivTakeRecyclePartner(pszName, &cands))
                KivJoinRecyclePair(c, pPartner, read);
            else
                cands.push_back(c);
        }
    }
}
