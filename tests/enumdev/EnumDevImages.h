// The disks and volumes scripts/make-disk-images makes with the real tools (Linux only).
#pragma once

#include <string>

#include "KivTestImages.h"

namespace kivdev_test {

inline const std::string& DiskImageDir() {
    static std::string d = KivTestImageDir("make-disk-images", "disk-test-images");
    return d;
}

}  // namespace kivdev_test
