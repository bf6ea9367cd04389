// One analyser over hostile input: the input is a medium whose first sector is offered to the
// analyser; when it takes it, the file is measured through the windowed reader.
#pragma once

#include <memory>
#include <vector>

#include "Analysers/IRawFileAnalyser.h"
#include "KivFuzzSupport.h"
#include "Model/CRawFileInfo.h"

inline int KivFuzzAnalyser(IRawFileAnalyser* (*make)(), const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    auto* dev = new KivFuzzDevStor({data, size});
    std::vector<uint8_t> first(512, 0);
    dev->ReadSectors(first.data(), 0, 1);
    std::unique_ptr<IRawFileAnalyser> a(make());
    CRawFileInfo info;
    if (a->CheckHeader(first, &info)) {
        if (info.m_nSize == 0) a->MeasureFile(&info, dev);
        (void)a->GetTitleText();
    }
    dev->Release();
    return 0;
}
