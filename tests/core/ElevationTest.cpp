#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "CKivElevation.h"
#include "IKivEnumDevEx.h"

namespace {

KivDevProblem Problem(const char* pszDevice, int nErrno) {
    KivDevProblem p;
    std::memset(&p, 0, sizeof p);
    std::strncpy(p.szDevice, pszDevice, sizeof p.szDevice - 1);
    p.nErrno = nErrno;
    return p;
}

}  // namespace

TEST(Elevation, OnlyASystemDiskRefusedForRightsOffersANewStart) {
    const std::vector<std::string> images = {"C:/images/card.img"};
    EXPECT_TRUE(CKivElevation::OffersRelaunch(Problem("\\\\.\\PhysicalDrive1", EACCES), images, false));
    EXPECT_TRUE(CKivElevation::OffersRelaunch(Problem("/dev/sdb", EPERM), images, false));
    // With full rights already, or for another reason, or for the user's own image: no offer.
    EXPECT_FALSE(CKivElevation::OffersRelaunch(Problem("\\\\.\\PhysicalDrive1", EACCES), images, true));
    EXPECT_FALSE(CKivElevation::OffersRelaunch(Problem("\\\\.\\PhysicalDrive1", EBUSY), images, false));
    EXPECT_FALSE(CKivElevation::OffersRelaunch(Problem("\\\\.\\PhysicalDrive1", 0), images, false));
    EXPECT_FALSE(CKivElevation::OffersRelaunch(Problem("C:/images/card.img", EACCES), images, false));
    EXPECT_FALSE(CKivElevation::OffersRelaunch(Problem("", EACCES), images, false));
}

TEST(Elevation, TheNewStartNamesTheDiskAndKeepsTheOtherArguments) {
    std::vector<std::string> args = {"C:/images/a.img"};
    for (const std::string& a : CKivElevation::RelaunchArgs("\\\\.\\PhysicalDrive2")) args.push_back(a);
    std::vector<std::string> rest;
    EXPECT_EQ(CKivElevation::ScanDevice(args, &rest), "\\\\.\\PhysicalDrive2");
    EXPECT_EQ(rest, std::vector<std::string>{"C:/images/a.img"});
    // A flag without its value is an ordinary argument (a file of that name).
    EXPECT_EQ(CKivElevation::ScanDevice({"--scan-device"}, &rest), "");
    EXPECT_EQ(rest, std::vector<std::string>{"--scan-device"});
}
