// The disk image the desktop tests and the screenshot tool walk the wizard over, made once per
// build tree: a FAT16 volume behind an MBR with folders, a deleted picture, a carved picture in
// free space, a picture that is none, and two text files of exactly 20 MiB and one byte more (the preview's limit).
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

inline std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The folder with disk.img, empty.img and src/ (what was put on the volume); empty on failure.
inline const std::string& ImageDir() {
    static std::string dir = [] {
        std::string stamp = std::to_string(std::hash<std::string>{}(kRecipe));
        std::string d = std::string(KIV_BIN_DIR) + "/../desktop-test-images";
        std::filesystem::create_directories(d);
        int fd = ::open((d + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
        if (fd >= 0) ::flock(fd, LOCK_EX);
        bool bOk = ReadAll(d + "/stamp") == stamp;
        if (!bOk) {
            std::ofstream(d + "/make.sh") << kRecipe;
            bOk = std::system(("bash '" + d + "/make.sh' '" + d + "' '" KIV_TEST_DATA_DIR "/analysers'").c_str()) == 0;
            if (bOk) std::ofstream(d + "/stamp") << stamp;
        }
        if (fd >= 0) ::close(fd);
        return bOk ? d : std::string();
    }();
    return dir;
}

// The machine's own disks stay out of it: empty system views under dir.
inline void HideMachineDisks(const std::string& dir) {
    std::filesystem::create_directories(dir + "/sys/block");
    std::filesystem::create_directories(dir + "/dev");
    std::ofstream(dir + "/mountinfo");
    ::setenv("UNDELIA_SYSFS_ROOT", (dir + "/sys").c_str(), 1);
    ::setenv("UNDELIA_DEV_ROOT", (dir + "/dev").c_str(), 1);
    ::setenv("UNDELIA_MOUNTINFO", (dir + "/mountinfo").c_str(), 1);
}

}  // namespace kivdesk_test
