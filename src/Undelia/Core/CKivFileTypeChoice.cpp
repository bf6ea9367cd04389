#include "CKivFileTypeChoice.h"

#include "CDataBackstage.h"

#include <algorithm>

#include "KivLog.h"
#include "KivUiCodes.h"
#include "platform/KivIniFile.h"

void CKivFileTypeChoice::Load(const std::vector<FilterItem>& catalogue, size_t nMaxShown) {
    m_items.clear();
    m_sections.clear();
    for (const FilterItem& f : catalogue) {
        Item it;
        it.name = f.name;
        it.descript = f.descript;
        it.detail = f.detail;
        it.full = f.extensions;
        size_t n = nMaxShown ? std::min(nMaxShown, f.extensions.size()) : f.extensions.size();
        it.shown.assign(f.extensions.begin(), f.extensions.begin() + static_cast<std::ptrdiff_t>(n));
        it.shown.push_back(kOthers);
        it.ticks.assign(it.shown.size(), false);
        m_items.push_back(std::move(it));
        m_sections.push_back(f.section);
    }
    Item all;
    all.name = kOthers;
    all.bCatchAll = true;
    m_items.push_back(std::move(all));
    m_sections.emplace_back();
}

void CKivFileTypeChoice::UpdateState(Item& item) {
    if (item.ticks.empty()) return;
    size_t n = static_cast<size_t>(std::count(item.ticks.begin(), item.ticks.end(), true));
    item.nState = n == 0 ? NONE : n == item.ticks.size() ? TICKED : PART;
}

void CKivFileTypeChoice::SetItem(size_t i, bool bTicked) {
    if (i >= m_items.size()) return;
    Item& it = m_items[i];
    std::fill(it.ticks.begin(), it.ticks.end(), bTicked);
    it.nState = bTicked ? TICKED : NONE;
}

void CKivFileTypeChoice::SetEntry(size_t i, size_t nEntry, bool bTicked) {
    if (i >= m_items.size() || nEntry >= m_items[i].ticks.size()) return;
    m_items[i].ticks[nEntry] = bTicked;
    UpdateState(m_items[i]);
}

void CKivFileTypeChoice::SetAll(bool bTicked) {
    for (size_t i = 0; i < m_items.size(); ++i) SetItem(i, bTicked);
}

bool CKivFileTypeChoice::TickExtension(const std::string& strExt) {
    bool bFound = false;
    for (size_t i = 0; i < m_items.size(); ++i) {
        Item& it = m_items[i];
        if (std::find(it.full.begin(), it.full.end(), strExt) == it.full.end()) continue;
        auto shown = std::find(it.shown.begin(), it.shown.end() - 1, strExt);
        SetEntry(i, static_cast<size_t>(shown - it.shown.begin()), true);
        bFound = true;
    }
    return bFound;
}

bool CKivFileTypeChoice::TickGroup(const std::string& strName) {
    for (size_t i = 0; i < m_items.size(); ++i) {
        if (KivIEquals(m_items[i].name, strName) || (!m_sections[i].empty() && KivIEquals(m_sections[i], strName))) {
            SetItem(i, true);
            return true;
        }
    }
    return false;
}

KivResult CKivFileTypeChoice::FilterBuild(IKivFilter* pFilter, KivFilterSet* pOut) const {
    if (!pFilter || !pOut) return KIV_RETERR(KIV_E_INVALIDARG);
    bool bAny = false, bAll = true;
    for (const Item& it : m_items) {
        bAny |= it.nState != NONE;
        bAll &= it.nState == TICKED;
    }
    if (!bAny) {
        KivLogW(0, L"CPanelFileType::FilterBuild() failed");
        return KIV_RETERR(KIV_E_NOTYPE);
    }
    if (bAll) return pFilter->CreateFilter(2, std::vector<std::string>{}, pOut);
    const int32_t nMode = !m_items.empty() && m_items.back().nState == TICKED ? 1 : 0;
    std::vector<std::string> exts;
    for (const Item& it : m_items) {
        if (it.shown.size() < 2 || it.ticks.size() != it.shown.size()) continue;
        size_t nShown = it.shown.size() - 1;
        bool bRest = it.ticks.back();  // the item's own "others..." entry
        auto shownWith = [&](bool bTick) {
            std::vector<std::string> v;
            for (size_t j = 0; j < nShown; ++j)
                if (it.ticks[j] == bTick) v.push_back(it.shown[j]);
            return v;
        };
        // The full list less the shown entries with the given tick.
        auto fullWithout = [&](bool bTick) {
            std::vector<std::string> drop = shownWith(bTick), v;
            for (const std::string& e : it.full)
                if (std::find(drop.begin(), drop.end(), e) == drop.end()) v.push_back(e);
            return v;
        };
        std::vector<std::string> add = nMode == 0 ? (bRest ? fullWithout(false) : shownWith(true))
                                                  : (bRest ? shownWith(false) : fullWithout(true));
        exts.insert(exts.end(), add.begin(), add.end());
    }
    return pFilter->CreateFilter(nMode, exts, pOut);
}

KivResult CKivFileTypeChoice::ApplyTo(CDataBackstage& bs) const {
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> catalogue;
    KivResult rc = bs.GetFilterData(&pFilter, &catalogue);
    KivFilterSet set;
    if (KivSucceeded(rc)) rc = FilterBuild(pFilter, &set);
    if (KivSucceeded(rc)) rc = bs.SetFilterResult(set);
    return rc;
}
