// Whether a file's bytes hold together as their format requires, for the formats whose structure
// can be checked from end to end. A deleted file whose clusters were taken by guess is checked
// before it is trusted, and the check tells where its content stops making sense.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct KivCheckVerdict {
    enum Kind : uint8_t {
        kUnchecked,  // not a format (or variant) that can be checked
        kWhole,      // holds together to its end
        kBroken,     // does not: nBreak says where
    };
    Kind kind = kUnchecked;
    // kBroken: the byte at which the content was seen not to hold together (the real break lies
    // at or before it), and the bytes before nSure, which were proven (the break lies after them).
    uint64_t nBreak = 0;
    uint64_t nSure = 0;
    // kWhole: the byte after the file's end marker where the format has one (JPEG, PNG, ZIP),
    // else 0. What follows it in the data is not the file's.
    uint64_t nEnd = 0;

    static KivCheckVerdict Whole(uint64_t nEndAt = 0) { return {kWhole, 0, 0, nEndAt}; }
    static KivCheckVerdict Unchecked() { return {kUnchecked, 0, 0, 0}; }
    static KivCheckVerdict Broken(uint64_t nAt, uint64_t nSureBefore) {
        return {kBroken, nAt, nSureBefore < nAt ? nSureBefore : nAt, 0};
    }
};

// A place where a check can start again: its state depends only on the bytes before nOffset, so
// any candidate file with the same leading bytes may be checked from there.
struct KivCheckPoint {
    uint64_t nOffset = 0;
    uint64_t v[8] = {};
};

class IKivContentCheck {
public:
    virtual ~IKivContentCheck() = default;
    // data: the whole file at its recorded size. pFrom: a point an earlier check of the same
    // leading bytes gave (null: from the start). pPoints (may be null) collects points on the way.
    virtual KivCheckVerdict Check(std::span<const uint8_t> data, const KivCheckPoint* pFrom,
                                  std::vector<KivCheckPoint>* pPoints) = 0;
    // Whether a wrong join could pass unseen: some of the format's bytes are not checked at all
    // (video data), so only a join whose place is pinned by the check may be accepted.
    virtual bool HasOpaqueData() const { return false; }
};

// The checker for a file starting with head (at least its first 16 bytes), or null when its format
// is not one that can be checked.
std::unique_ptr<IKivContentCheck> KivNewContentCheck(std::span<const uint8_t> head);

// Checks a whole file at once.
KivCheckVerdict KivCheckContent(std::span<const uint8_t> data);
