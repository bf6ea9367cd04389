// The images the core tests drive the whole workflow over (scripts/make-core-images), made once
// per build tree (a lock keeps test processes running side by side from racing).
#pragma once

#include <string>
#include <vector>

#include "CDataBackstage.h"
#include "CKivFileTypeChoice.h"
#include "KivTestImages.h"

namespace kivcore_test {

inline constexpr auto& ReadAll = KivReadAll;
inline constexpr auto& HideMachineDisks = KivHideMachineDisks;

// The folder of scripts/make-core-images: fat.img, fat-src/ (what was put on it) and the NTFS
// images under ntfs/; empty when making them failed. Both scripts' texts are the stamp.
inline const std::string& ImageDir() {
    static std::string dir = [] {
        const std::string core = KIV_SOURCE_DIR "/scripts/make-core-images";
        const std::string ntfs = KIV_SOURCE_DIR "/scripts/make-ntfs-images";
        return KivTestImagesOnce("core-test-images", KivReadAll(core) + KivReadAll(ntfs), [&](const std::string& d) {
            return std::system(("'" + core + "' '" + d + "'").c_str()) == 0;
        });
    }();
    return dir;
}

// As the first pages leave the back-stage: the image as the one disk listed, chosen whole.
inline bool ChooseImage(CDataBackstage& bs, const std::string& image) {
    std::vector<DiskInfo> disks;
    if (bs.SetImagePaths({image}, 0) != KIV_OK || KivErrNo(bs.GetEnumDevData(&disks, nullptr, nullptr, true)) != 0 ||
        disks.size() != 1)
        return false;
    bs.SetDevMode(0);
    return bs.SetEnumDevResult(0) == KIV_OK;
}

// Every file type chosen, as "Select All File Type" does.
inline bool ChooseEveryType(CDataBackstage& bs) {
    IKivFilter* pFilter = nullptr;
    std::vector<FilterItem> catalogue;
    if (KivErrNo(bs.GetFilterData(&pFilter, &catalogue)) != 0) return false;
    CKivFileTypeChoice choice;
    choice.Load(catalogue);
    choice.SetAll(true);
    KivFilterSet set;
    return choice.FilterBuild(pFilter, &set) == KIV_OK && bs.SetFilterResult(set) == KIV_OK;
}

}  // namespace kivcore_test
