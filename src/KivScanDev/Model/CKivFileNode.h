// A file or folder of the result tree.
#pragma once

#include "CKivNodeImpl.h"

class CKivFileNode final : public CKivNodeImpl<IKivFileNode> {
public:
    using CKivNodeImpl<IKivFileNode>::CKivNodeImpl;
};
