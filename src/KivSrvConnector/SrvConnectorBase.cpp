#include "SrvConnectorBase.h"

#include "KivLog.h"

KivResult CSrvConnectorBase::SetBaseInfo(const KivProductBaseInfo* pInfo) {
    try {
        return m_cache.MergeBaseInfo(pInfo);
    } catch (...) {
        return KIV_RETERR(KIV_E_NOOBJ);
    }
}

KivResult CSrvConnectorBase::GetBaseInfo(KivProductBaseInfo* pInfo) {
    try {
        return m_cache.ReadBaseInfo(pInfo);
    } catch (...) {
        return KIV_RETERR(KIV_E_NOOBJ);
    }
}
