// The file-format analysers: the input's first sector offered to every analyser through the
// engine's dispatch, and the one that accepts it measuring the file through the windowed reader.
#include <memory>

#include "Analysers/KivAnalyserTable.h"
#include "KivFuzzSupport.h"
#include "Model/CRawFileInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    auto* dev = new KivFuzzDevStor({data, size});
    std::vector<uint8_t> first(512, 0);
    dev->ReadSectors(first.data(), 0, 1);
    const KivAnalyserDispatch& dispatch = RawAnalyserRegistry::Get().Dispatch();
    CRawFileInfo info;
    info.m_nStartSector = 0;
    if (IRawFileAnalyser* a = dispatch.Find(first, &info)) {
        if (info.m_nSize == 0) a->MeasureFile(&info, dev);
        (void)a->GetTitleText();
        (void)a->GetDetailText();
    }
    dev->Release();
    return 0;
}
