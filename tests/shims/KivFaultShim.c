// Test-only LD_PRELOAD library that makes reads of one file fail like a damaged medium. Never
// installed and never linked into anything that ships.
//
//   KIV_FAULT_FILE=/path/image        the file whose reads fail (matched by device and inode)
//   KIV_FAULT_RANGES=a-b,c-d          byte ranges [a, b) that cannot be read
//   KIV_FAULT_STATS=/path/stats       at exit: "reads N", "failed N", "bytes N" of that file
//
//   KIV_FAULT_DELAY_MS=N              each failing read takes N ms first, as on a disk that retries
//
// A read (pread, pread64 or read) of the file that touches a listed byte fails with EIO; every
// other read, and everything on other files, goes to the C library unchanged. The file shows no
// holes (lseek SEEK_DATA/SEEK_HOLE): a damaged medium is read everywhere.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <inttypes.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>

#define KIV_MAX_RANGES 4096

typedef ssize_t (*PreadFn)(int, void*, size_t, off_t);
typedef ssize_t (*ReadFn)(int, void*, size_t);
typedef off_t (*LseekFn)(int, off_t, int);

static struct {
    int bReady;
    int bActive;
    dev_t dev;
    ino_t ino;
    size_t nRanges;
    uint64_t first[KIV_MAX_RANGES];
    uint64_t end[KIV_MAX_RANGES];
    PreadFn pfnPread;
    PreadFn pfnPread64;
    ReadFn pfnRead;
    LseekFn pfnLseek;
    LseekFn pfnLseek64;
    long nDelayMs;
} g;

static atomic_uint_fast64_t g_nReads, g_nFailed, g_nBytes;

static void WriteStats(void) {
    const char* path = getenv("KIV_FAULT_STATS");
    if (!path || !*path) return;
    FILE* f = fopen(path, "w");
    if (!f) return;
    fprintf(f, "reads %" PRIu64 "\nfailed %" PRIu64 "\nbytes %" PRIu64 "\n", (uint64_t)atomic_load(&g_nReads),
            (uint64_t)atomic_load(&g_nFailed), (uint64_t)atomic_load(&g_nBytes));
    fclose(f);
}

__attribute__((constructor)) static void Init(void) {
    g.pfnPread = (PreadFn)dlsym(RTLD_NEXT, "pread");
    g.pfnPread64 = (PreadFn)dlsym(RTLD_NEXT, "pread64");
    g.pfnRead = (ReadFn)dlsym(RTLD_NEXT, "read");
    g.pfnLseek = (LseekFn)dlsym(RTLD_NEXT, "lseek");
    g.pfnLseek64 = (LseekFn)dlsym(RTLD_NEXT, "lseek64");
    const char* delay = getenv("KIV_FAULT_DELAY_MS");
    g.nDelayMs = delay && *delay ? strtol(delay, NULL, 10) : 0;
    const char* file = getenv("KIV_FAULT_FILE");
    struct stat st;
    if (file && *file && stat(file, &st) == 0) {
        g.dev = st.st_dev;
        g.ino = st.st_ino;
        g.bActive = 1;
    }
    const char* p = getenv("KIV_FAULT_RANGES");
    while (p && *p && g.nRanges < KIV_MAX_RANGES) {
        char* e = NULL;
        uint64_t a = strtoull(p, &e, 0);
        if (!e || *e != '-') break;
        uint64_t b = strtoull(e + 1, &e, 0);
        if (b > a) {
            g.first[g.nRanges] = a;
            g.end[g.nRanges] = b;
            ++g.nRanges;
        }
        p = e;
        while (*p == ',' || *p == ' ') ++p;
    }
    g.bReady = 1;
    atexit(WriteStats);
}

static int IsTarget(int fd) {
    struct stat st;
    return g.bReady && g.bActive && fstat(fd, &st) == 0 && st.st_dev == g.dev && st.st_ino == g.ino;
}

static int Touches(uint64_t off, uint64_t n) {
    for (size_t i = 0; i < g.nRanges; ++i)
        if (g.first[i] < off + n && g.end[i] > off) return 1;
    return 0;
}

// Answers 1 when the read must fail; counts it either way.
static int Fails(int fd, uint64_t off, size_t n) {
    if (!IsTarget(fd)) return 0;
    atomic_fetch_add(&g_nReads, 1);
    if (n && Touches(off, n)) {
        atomic_fetch_add(&g_nFailed, 1);
        if (g.nDelayMs > 0) {
            struct timespec ts = {g.nDelayMs / 1000, (g.nDelayMs % 1000) * 1000000L};
            while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
            }
        }
        return 1;
    }
    atomic_fetch_add(&g_nBytes, n);
    return 0;
}

static ssize_t Pread(PreadFn fn, int fd, void* buf, size_t n, off_t off) {
    if (!fn) fn = (PreadFn)dlsym(RTLD_NEXT, "pread");
    if (Fails(fd, (uint64_t)off, n)) {
        errno = EIO;
        return -1;
    }
    return fn(fd, buf, n, off);
}

ssize_t pread(int fd, void* buf, size_t n, off_t off) { return Pread(g.pfnPread, fd, buf, n, off); }

ssize_t pread64(int fd, void* buf, size_t n, off_t off) {
    return Pread(g.pfnPread64 ? g.pfnPread64 : g.pfnPread, fd, buf, n, off);
}

ssize_t read(int fd, void* buf, size_t n) {
    ReadFn fn = g.pfnRead ? g.pfnRead : (ReadFn)dlsym(RTLD_NEXT, "read");
    if (g.bReady && g.bActive && IsTarget(fd)) {
        LseekFn seek = g.pfnLseek ? g.pfnLseek : (LseekFn)dlsym(RTLD_NEXT, "lseek");
        off_t off = seek(fd, 0, SEEK_CUR);
        if (off >= 0 && Fails(fd, (uint64_t)off, n)) {
            errno = EIO;
            return -1;
        }
    }
    return fn(fd, buf, n);
}

static off_t Lseek(LseekFn fn, int fd, off_t off, int whence) {
    if (!fn) fn = (LseekFn)dlsym(RTLD_NEXT, "lseek");
#if defined(SEEK_DATA) && defined(SEEK_HOLE)
    if ((whence == SEEK_DATA || whence == SEEK_HOLE) && IsTarget(fd)) {
        struct stat st;
        if (fstat(fd, &st) != 0) return -1;
        if (off < 0 || off >= st.st_size) {
            errno = ENXIO;
            return -1;
        }
        return fn(fd, whence == SEEK_DATA ? off : st.st_size, SEEK_SET);
    }
#endif
    return fn(fd, off, whence);
}

off_t lseek(int fd, off_t off, int whence) { return Lseek(g.pfnLseek, fd, off, whence); }

off_t lseek64(int fd, off_t off, int whence) { return Lseek(g.pfnLseek64 ? g.pfnLseek64 : g.pfnLseek, fd, off, whence); }
