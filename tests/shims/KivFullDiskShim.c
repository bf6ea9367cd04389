/* Preloaded into undelia-cli by the tests: a destination folder that fills up. Writes to regular
 * files below $KIV_SHIM_FULL_DIR succeed until $KIV_SHIM_FULL_AFTER bytes were written in all,
 * then fail with ENOSPC, as on a full disk. Everything else passes through. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
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
