/* Preloaded into undelia-cli by the tests: a destination folder that fills up. Writes to regular
 * files below $KIV_SHIM_FULL_DIR succeed until $KIV_SHIM_FULL_AFTER bytes were written in all,
 * then fail with ENOSPC, as on a full disk. With $KIV_SHIM_FREE_BYTES set, statvfs of a path below
 * that folder reports that much free space. Everything else passes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

static unsigned long long g_written;

static int UnderFullDir(int fd) {
    const char* dir = getenv("KIV_SHIM_FULL_DIR");
    if (!dir || !*dir) return 0;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    char link[64], path[PATH_MAX];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, path, sizeof path - 1);
    if (n <= 0) return 0;
    path[n] = 0;
    return strncmp(path, dir, strlen(dir)) == 0;
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* buf, size_t count) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (count && UnderFullDir(fd)) {
        const char* after = getenv("KIV_SHIM_FULL_AFTER");
        unsigned long long limit = after ? strtoull(after, NULL, 10) : 0;
        if (g_written >= limit) {
            errno = ENOSPC;
            return -1;
        }
        if (count > limit - g_written) count = (size_t)(limit - g_written);  /* a short write first */
        ssize_t r = real(fd, buf, count);
        if (r > 0) g_written += (unsigned long long)r;
        return r;
    }
    return real(fd, buf, count);
}

static void FakeFree(const char* path, struct statvfs* buf) {
    const char* dir = getenv("KIV_SHIM_FULL_DIR");
    const char* free_bytes = getenv("KIV_SHIM_FREE_BYTES");
    if (!dir || !*dir || !free_bytes || strncmp(path, dir, strlen(dir)) != 0) return;
    buf->f_frsize = 4096;
    buf->f_bsize = 4096;
    buf->f_bavail = buf->f_bfree = strtoull(free_bytes, NULL, 10) / 4096;
}

__attribute__((visibility("default"))) int statvfs(const char* path, struct statvfs* buf) {
    static int (*real)(const char*, struct statvfs*);
    if (!real) real = (int (*)(const char*, struct statvfs*))dlsym(RTLD_NEXT, "statvfs");
    int r = real(path, buf);
    if (r == 0) FakeFree(path, buf);
    return r;
}

/* The same layout as struct statvfs on 64-bit systems. */
__attribute__((visibility("default"))) int statvfs64(const char* path, struct statvfs64* buf) {
    return statvfs(path, (struct statvfs*)buf);
}
