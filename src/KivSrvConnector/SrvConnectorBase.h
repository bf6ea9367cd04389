// What both connectors share: their settings, their cache, and the installation's base
// information (an installation keeps the first GUID it stored, whichever connector stores it).
#pragma once

#include "IKivSrvConnector.h"
#include "ServerCache.h"
#include "SrvSettings.h"

class CSrvConnectorBase : public IKivSrvConnector {
public:
    KivResult SetBaseInfo(const KivProductBaseInfo* pInfo) override;
    KivResult GetBaseInfo(KivProductBaseInfo* pInfo) override;

protected:
    CSrvConnectorBase() { m_settings.Load(); }

    CSrvSettings m_settings;
    CServerCache m_cache;
};
