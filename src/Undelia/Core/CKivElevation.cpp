#include "CKivElevation.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "IKivEnumDevEx.h"

bool CKivElevation::OffersRelaunch(const KivDevProblem& problem, const std::vector<std::string>& images, bool bElevated) {
    if (bElevated || !problem.szDevice[0]) return false;
    // More rights do not help a disk that is busy, gone or broken.
    if (problem.nErrno != EACCES && problem.nErrno != EPERM) return false;
    const std::string device(problem.szDevice, strnlen(problem.szDevice, sizeof problem.szDevice));
    // An image file the user cannot read is the file's own business, not a reason for a new start.
    return std::find(images.begin(), images.end(), device) == images.end();
}

std::vector<std::string> CKivElevation::RelaunchArgs(const std::string& strDevice) { return {kScanDeviceArg, strDevice}; }

std::string CKivElevation::ScanDevice(const std::vector<std::string>& args, std::vector<std::string>* pRest) {
    std::string device;
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == kScanDeviceArg && i + 1 < args.size()) {
            device = args[++i];
            continue;
        }
        rest.push_back(args[i]);
    }
    if (pRest) *pRest = std::move(rest);
    return device;
}
