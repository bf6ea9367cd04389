// The images the core tests drive the whole workflow over, made once per build tree (a lock keeps
// test processes running side by side from racing): a FAT16 volume with folders, a deleted file
// and a JPEG written into free clusters, and the NTFS volumes of scripts/make-ntfs-images.
#pragma once

#include <string>
#include <vector>

#include "CDataBackstage.h"
#include "CKivFileTypeChoice.h"
#include "KivTestImages.h"

namespace kivcore_test {

// The FAT image's recipe; its text is also the stamp that decides when to make the images again.
inline const char* kFatRecipe = R"SH(
set -e
export MTOOLS_SKIP_CHECK=1 TZ=UTC
d=$1; data=$2
rm -rf "$d/fat-src" "$d/fat.img"; mkdir -p "$d/fat-src/Photos" "$d/fat-src/Docs/Old"
cp "$data/a_exif.jpg" "$d/fat-src/Photos/beach.jpg"
cp "$data/b_image.png" "$d/fat-src/Photos/sunset.png"
cp "$data/b_doc.pdf" "$d/fat-src/Docs/report.pdf"
cp "$data/b_note.rtf" "$d/fat-src/Docs/Old/note.rtf"
cp "$data/b_book.xlsx" "$d/fat-src/budget.xlsx"
mkfs.fat -C -F 16 -s 4 -n CORE "$d/fat.img" 16384 >/dev/null
mcopy -s -i "$d/fat.img" "$d/fat-src/Photos" "$d/fat-src/Docs" "$d/fat-src/budget.xlsx" ::/
mcopy -i "$d/fat.img" "$data/a_tone.au" ::/gone.au
mdel -i "$d/fat.img" ::/gone.au
# A picture with no entry at all, in free clusters near the end: only carving finds it.
dd if="$data/a_jfif.jpg" of="$d/fat.img" bs=512 seek=30000 conv=notrunc status=none
cp "$data/a_jfif.jpg" "$d/fat-src/carved.jpg"
)SH";

inline constexpr auto& ReadAll = KivReadAll;
inline constexpr auto& HideMachineDisks = KivHideMachineDisks;

// The folder with fat.img, fat-src/ (what was put on it) and the NTFS images; empty when making
// them failed.
inline const std::string& ImageDir() {
    static std::string dir = [] {
        std::string ntfs = std::string(KIV_SOURCE_DIR) + "/scripts/make-ntfs-images";
        return KivTestImagesOnce("core-test-images", kFatRecipe + KivReadAll(ntfs), [&](const std::string& d) {
            return KivRunRecipe(d, "make-fat.sh", kFatRecipe) &&
                   std::system(("'" + ntfs + "' '" + d + "/ntfs' >/dev/null 2>&1").c_str()) == 0;
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
