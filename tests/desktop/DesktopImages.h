// The disk image the desktop tests and the screenshot tool walk the wizard over, made once per
// build tree: a FAT16 volume behind an MBR with folders, a deleted picture, a carved picture in
// free space, a picture that is none, and two text files of exactly 20 MiB and one byte more (the preview's limit).
#pragma once

#include <string>

#include "KivTestImages.h"

namespace kivdesk_test {

inline const char* kRecipe = R"SH(
set -e
export MTOOLS_SKIP_CHECK=1 TZ=UTC
d=$1; data=$2
rm -rf "$d/src" "$d/part.img" "$d/disk.img" "$d/empty.img"; mkdir -p "$d/src/Photos" "$d/src/Docs"
cp "$data/a_exif.jpg" "$d/src/Photos/beach.jpg"
cp "$data/b_image.png" "$d/src/Photos/sunset.png"
cp "$data/b_doc.pdf" "$d/src/Docs/report.pdf"
cp "$data/b_note.rtf" "$d/src/Docs/note.rtf"
yes 'A line of the text file at the preview limit.' | head -c 20971520 > "$d/src/Docs/limit.txt"
yes 'A line of the text file one byte over the limit.' | head -c 20971521 > "$d/src/Docs/over.txt"
mkfs.fat -C -F 16 -s 8 -n DESKTOP "$d/part.img" 61440 >/dev/null
mcopy -s -i "$d/part.img" "$d/src/Photos" "$d/src/Docs" ::/
# A picture that is none: its thumbnail cannot be made.
printf 'not a picture at all\n' > "$d/src/broken.jpg"
mcopy -i "$d/part.img" "$d/src/broken.jpg" ::/broken.jpg
mcopy -i "$d/part.img" "$data/a_jfif.jpg" ::/gone.jpg
mdel -i "$d/part.img" ::/gone.jpg
cp "$data/a_jfif.jpg" "$d/src/gone.jpg"
# One MiB of table space, then the volume.
truncate -s 1M "$d/disk.img"
cat "$d/part.img" >> "$d/disk.img"
printf 'label: dos\nstart=2048, type=6\n' | sfdisk -q "$d/disk.img"
rm "$d/part.img"
# A disk that holds nothing at all.
truncate -s 4M "$d/empty.img"
)SH";

inline constexpr auto& ReadAll = KivReadAll;
inline constexpr auto& HideMachineDisks = KivHideMachineDisks;

// The folder with disk.img, empty.img and src/ (what was put on the volume); empty on failure.
inline const std::string& ImageDir() {
    static std::string dir = KivTestImagesOnce("desktop-test-images", kRecipe,
                                               [](const std::string& d) { return KivRunRecipe(d, "make.sh", kRecipe); });
    return dir;
}

}  // namespace kivdesk_test
