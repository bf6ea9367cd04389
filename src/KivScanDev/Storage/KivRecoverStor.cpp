#include "KivRecoverStor.h"

#include <new>

#include "CSimulateStorageDevice.h"

IKivDevStor* GetRecoverStor(IKivDevStor* pDev) {
    if (!pDev) return nullptr;
    if (pDev->GetSectorSize() == 512) return pDev;
    if (!pDev->m_pRecoverView) pDev->m_pRecoverView = new (std::nothrow) CSimulateStorageDevice(pDev);
    return pDev->m_pRecoverView;
}
