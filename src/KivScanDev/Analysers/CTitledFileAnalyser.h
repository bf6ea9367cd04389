// An analyser that names the files it measures (a title, and for some a detail, read from the
// file): what it answers is always that of the file measured last, never one measured before.
#pragma once

#include <string>

#include "Analysers/IRawFileAnalyser.h"

class CTitledFileAnalyser : public IRawFileAnalyser {
public:
    using IRawFileAnalyser::IRawFileAnalyser;
    bool MeasureFile(CRawFileInfo* pInfo, IKivDevStor* pStor) final {
        m_strTitle.clear();
        m_strDetail.clear();
        return Measure(pInfo, pStor);
    }
    std::string GetTitleText() override { return m_strTitle; }
    std::string GetDetailText() override { return m_strDetail; }

protected:
    // MeasureFile with the texts cleared.
    virtual bool Measure(CRawFileInfo* pInfo, IKivDevStor* pStor) = 0;

    std::string m_strTitle;
    std::string m_strDetail;
};
