// Library-wide switches of the FAT scanner and what the library knows about the volume being
// built (drive letter and label handed over by the program).
#pragma once

#include <string>

struct KivFatSettings {
    bool bDateCheck = true;      // directory entries: dates must be 0 or a real month and day
    bool bTimeCheck = true;      // directory entries: times must be 0 or a real time of day
    bool bUseFirstFat = true;    // a found first FAT copy may be used to build the tree
    bool bUseSecondFat = true;   // likewise the second copy
    char cDriveLetter = 0;       // 0: none
    std::string strLabel;        // empty: none

    static KivFatSettings& Get();  // process-wide; one scan or build at a time
};
