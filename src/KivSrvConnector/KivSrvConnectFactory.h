// "IKivSrvConnectFactory": makes opened connectors.
#pragma once

#include "IKivSrvConnector.h"

class CKivSrvConnectFactory : public IKivSrvConnectFactory {
public:
    // Kind 2 a datagram connector, any other an HTTP one; opened at once. 0x002 without an out
    // pointer, 0x005 when it cannot be made, 0x009 when it cannot be opened (nothing is returned).
    KivResult CreateKivSrvConnector(IKivSrvConnector** ppOut, int32_t nKind) override;
};
