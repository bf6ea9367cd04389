// The up-case table of an exFAT volume: how names compare and hash, and how the table's first
// cluster is recognised during the scan.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

class CKivExFatUpcase {
public:
    // Identity mapping outside ASCII letters until a table is loaded.
    CKivExFatUpcase();

    // Loads a table in either the plain or the compressed form (0xFFFF, n: the next n characters
    // map to themselves). Answers false, keeping the ASCII mapping, when the bytes do not decode.
    bool Load(std::span<const uint8_t> table);
    bool IsLoaded() const { return m_bLoaded; }

    char16_t Up(char16_t c) const { return m_map[c]; }
    // NameHash of the up-cased name, as the Stream Extension entry stores it.
    uint16_t NameHash(const std::u16string& name) const;

    // The first bytes of a table, plain or compressed, as tools write them: the characters up to
    // 'z' map to themselves except a-z to A-Z.
    static bool LooksLikeTableStart(std::span<const uint8_t> bytes);
    // TableChecksum of the Up-case Table entry.
    static uint32_t TableChecksum(std::span<const uint8_t> table);

private:
    std::vector<char16_t> m_map;
    bool m_bLoaded = false;
};
