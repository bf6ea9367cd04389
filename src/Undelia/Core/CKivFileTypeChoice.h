// The choice of file types on the file-type page: one item per catalogue entry with a tick and a
// check list of its extensions (and a last "others..." entry for the rest of that group), then a
// last catch-all item "others..." for every file whose type no group lists. FilterBuild turns the
// ticks into the engine's filter settings.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "IKivFilter.h"

class CDataBackstage;

class CKivFileTypeChoice {
public:
    static constexpr const char* kOthers = "others...";
    enum : uint8_t { NONE = 0, TICKED = 1, PART = 2 };

    struct Item {
        std::string name;
        std::string descript;
        std::string detail;
        std::vector<std::string> shown;  // the check list: the extensions shown, then "others..."
        std::vector<bool> ticks;         // one per shown entry
        std::vector<std::string> full;   // every extension of the catalogue entry
        uint8_t nState = NONE;
        bool bCatchAll = false;          // the last item
    };

    // Items for the catalogue, in its order, then the catch-all; nothing ticked. nMaxShown limits
    // the extensions a check list shows (0: all of them).
    void Load(const std::vector<FilterItem>& catalogue, size_t nMaxShown = 0);

    size_t Count() const { return m_items.size(); }
    const Item& At(size_t i) const { return m_items[i]; }
    // Ticks or unticks an item with every entry of its check list.
    void SetItem(size_t i, bool bTicked);
    // One entry of an item's check list; the item's state follows.
    void SetEntry(size_t i, size_t nEntry, bool bTicked);
    void SetAll(bool bTicked);
    // Ticks the entry of an extension (lower case, without dot) wherever it is shown, or, when it
    // is hidden behind an item's "others...", that entry; false when no group lists it.
    bool TickExtension(const std::string& strExt);
    // Ticks the item whose name or section matches (without regard to case).
    bool TickGroup(const std::string& strName);

    // The engine's settings from the ticks (through the filter's CreateFilter). 0x054 when nothing
    // is ticked; mode 2 when everything is; else mode 1 when the catch-all is ticked (keep all but
    // what is left unticked), mode 0 otherwise (keep only what is ticked).
    KivResult FilterBuild(IKivFilter* pFilter, KivFilterSet* pOut) const;
    // FilterBuild over the back-stage's filter, the result handed back to it for the next scan.
    KivResult ApplyTo(CDataBackstage& bs) const;

private:
    void UpdateState(Item& item);

    std::vector<Item> m_items;
    std::vector<std::string> m_sections;
};
