#include "Model/KivEngineFilter.h"

CKivExtFilterEx& KivEngineFilter() {
    static CKivExtFilterEx filter;
    return filter;
}
