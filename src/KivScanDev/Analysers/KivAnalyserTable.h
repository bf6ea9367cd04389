// Which analysers each carving type id brings into a scan, the process-wide list of analyser
// instances of the current scan, and the dispatch that offers a sector to that list.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "Analysers/IRawFileAnalyser.h"

using KivAnalyserFactory = IRawFileAnalyser* (*)();

// Factories of the analysers that selecting nTypeId adds, in list order (DOC: OLE, then LowDoc).
// Ids 0, 20 and 26 add none; id 74 and the ids of user-defined headers add the custom-header analyser.
std::span<const KivAnalyserFactory> KivAnalysersOfType(uint32_t nTypeId);

// Offers a sector to an ordered analyser list and answers the first analyser that accepts it,
// exactly as asking each in list order would, but only asks the analysers whose declared first
// bytes (IRawFileAnalyser::FirstBytes) allow the sector's byte 0, and each analyser class once
// (a later instance of a class that already refused would refuse too).
class KivAnalyserDispatch {
public:
    // The analysers are borrowed and must outlive the dispatch (or the next Build).
    void Build(std::span<IRawFileAnalyser* const> analysers);
    // The record's type id and size are cleared before each analyser is asked, so that what a
    // refusing analyser wrote never reaches the record of a later one. An analyser that throws
    // counts as refusing. sector must hold one whole sector.
    IRawFileAnalyser* Find(std::span<const uint8_t> sector, CRawFileInfo* pInfo) const;
    // The same answer by asking every analyser of the list in order (reference for tests).
    IRawFileAnalyser* FindInOrder(std::span<const uint8_t> sector, CRawFileInfo* pInfo) const;

private:
    std::vector<IRawFileAnalyser*> m_all;
    std::vector<IRawFileAnalyser*> m_byFirst[256];
};

// The analyser instances of the current scan, owned, in list order. Created on first use with
// one instance of every analyser; the RAW scanner replaces its content at the start of every scan
// and the carved-file tree builder uses what the last scan left. Not thread-safe: one scan or one
// result build at a time.
class RawAnalyserRegistry {
public:
    static RawAnalyserRegistry& Get();

    // Replaces the content with the analysers of the ids in order (an analyser class may appear
    // several times), then the custom-header analyser once when any id asks for it. Null
    // factories' results are skipped.
    void Rebuild(std::span<const uint32_t> typeIds);
    void Clear();

    size_t Size() const { return m_items.size(); }
    IRawFileAnalyser* At(size_t i) const { return m_items[i].get(); }
    std::span<IRawFileAnalyser* const> Items() const { return m_raw; }
    // First analyser whose id equals nId compared as 16-bit values, or nullptr.
    IRawFileAnalyser* FindById(int32_t nId) const;
    const KivAnalyserDispatch& Dispatch() const { return m_dispatch; }

    RawAnalyserRegistry();  // every analyser once, by class name

private:
    void Rebuilt();

    std::vector<std::unique_ptr<IRawFileAnalyser>> m_items;
    std::vector<IRawFileAnalyser*> m_raw;
    KivAnalyserDispatch m_dispatch;
};
