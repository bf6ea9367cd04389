// The build driver: the engine builds the result tree of the chosen partitions (pumping on the
// caller's thread), then the node manager makes the display views on a worker while the caller
// pumps.
#pragma once

#include <vector>

#include "CKivDirBuild.h"
#include "IKivUiSink.h"

class CDataBackstage;

class CProgressBuild {
public:
    CProgressBuild(CDataBackstage& backstage, IKivProgressSink* pSink);

    // Builds the trees of the listed partitions (those the engine marked selected). 0x004 without
    // engine or node manager; the engine's code when it builds nothing (0x015: nothing to show);
    // 0x005 for a missing root; the node manager's code when the views fail.
    KivResult Build(std::vector<CKivScanResPart*>& parts);

    void RequestStop() { m_callback.RequestStop(); }
    bool AskStop(IKivPrompt& prompt);
    bool WasStopped() const { return m_callback.IsStopped(); }

private:
    CDataBackstage& m_backstage;
    IKivProgressSink* m_pSink;
    CKivDirBuild m_callback;
};
