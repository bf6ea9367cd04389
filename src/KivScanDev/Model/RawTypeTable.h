// The carving type table: per type id an extension (at most 5 characters) and a folder name (at
// most 79). Ids 0..99 are fixed (74 stands for the user-defined headers); ids 1000..1999 go to the extensions of user-defined headers in
// order of first sight. One table for the whole library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "KivCommon.h"

class RawTypeTable {
public:
    static constexpr uint32_t kFixedCount = 100;  // ids 0..99
    static constexpr uint32_t kCustomFirst = 1000;
    static constexpr uint32_t kCustomLast = 1999;
    static constexpr size_t kMaxExt = 5;         // fixed rows
    static constexpr size_t kMaxCustomExt = 16;  // user-defined rows: all a header may give
    static constexpr size_t kMaxFolder = 79;

    static RawTypeTable& Get();

    bool IsValidId(uint32_t nId) const;  // a fixed id or a custom id given out
    // Empty for ids that are not in use.
    std::string GetExt(uint32_t nId) const;
    std::string GetFolderName(uint32_t nId) const;  // may be empty
    // The folder name, or the extension when the folder name is empty.
    std::string GetFolderOrExt(uint32_t nId) const;
    // Class names of the analysers that selecting a fixed id adds, in order (empty for none and for
    // custom ids, which all use the user-defined-header analyser).
    std::vector<std::string_view> GetAnalyserNames(uint32_t nId) const;

    // Case-insensitive lookup over the fixed and the custom rows; answers false when absent.
    bool FindByExt(const char* pszExt, uint32_t* pId) const;
    // The custom id of an extension, given out on first sight. The extension is kept as it can
    // stand in file names (separators and control characters become "_"). Refuses an empty
    // extension, and a new one when all 1000 custom ids are taken.
    KivResult GetCustomId(const char* pszExt, uint32_t* pId);
    size_t GetCustomCount() const;
    void ClearCustom();  // for tests and a fresh library state

private:
    RawTypeTable() = default;
};
