// When the desktop program offers to start again with full rights, and how that start names the
// disk: run as a normal user it lists the disks it cannot open with the reason, and a disk
// refused for want of rights is offered a new start (as administrator) for that one scan, which
// the command line carries as "--scan-device <path>".
#pragma once

#include <string>
#include <vector>

struct KivDevProblem;

class CKivElevation {
public:
    static constexpr const char* kScanDeviceArg = "--scan-device";

    // True for a disk of the system (not one of the image files the user added) that was refused
    // for want of rights, while the program runs without full rights.
    static bool OffersRelaunch(const KivDevProblem& problem, const std::vector<std::string>& images, bool bElevated);
    // The arguments of the new start for that disk.
    static std::vector<std::string> RelaunchArgs(const std::string& strDevice);
    // The disk a start was asked to scan (empty when none); the other arguments go to *pRest.
    static std::string ScanDevice(const std::vector<std::string>& args, std::vector<std::string>* pRest);
};
