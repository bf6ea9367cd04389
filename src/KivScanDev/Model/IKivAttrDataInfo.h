// What a file attribute may know about its data beyond its runs and size. Recovery asks for it
// through a cast; attributes that know nothing more do not implement it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a deleted entry whose clusters a live file took answers: they hold another file's data.
inline constexpr char kKivReusedDamage[] = "its clusters were reused by another file";

// What a deleted file whose content was checked and found broken (and not joined) answers.
inline std::string KivContentBreakText(uint64_t nAt) { return "content breaks at byte " + std::to_string(nAt); }

class IKivAttrDataInfo {
public:
    virtual ~IKivAttrDataInfo() = default;
    // Bytes from the start that were ever written; the rest of the size reads as zeros, whatever
    // the clusters behind it hold.
    virtual uint64_t GetValidLength() = 0;
    // Why the data the runs point at is known not to be (all of) the file's: null when nothing is
    // known. A file copied with such a reason is counted as damaged.
    virtual const char* GetDataDamage() = 0;
    // The file's bytes when the attribute holds them itself (data kept inside an inode); null when
    // the data lies where the runs say.
    virtual const std::vector<uint8_t>* GetHeldData() { return nullptr; }
};
