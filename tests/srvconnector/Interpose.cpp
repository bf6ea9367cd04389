// Counts the sockets this test process opens and connects, whoever asks (the library, libcurl):
// the executable exports socket() and connect() (see the dynamic list in tests/CMakeLists.txt),
// so every call in the process reaches these first and is passed on.
#include <dlfcn.h>
#include <sys/socket.h>

#include "SrvTestKit.h"

namespace srvtest {
std::atomic<int> g_nSockets{0};
std::atomic<int> g_nConnects{0};
}  // namespace srvtest

extern "C" __attribute__((visibility("default"))) int socket(int domain, int type, int protocol) {
    using Fn = int (*)(int, int, int);
    static Fn next = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "socket"));
    ++srvtest::g_nSockets;
    return next(domain, type, protocol);
}

extern "C" __attribute__((visibility("default"))) int connect(int fd, const sockaddr* addr, socklen_t len) {
    using Fn = int (*)(int, const sockaddr*, socklen_t);
    static Fn next = reinterpret_cast<Fn>(::dlsym(RTLD_NEXT, "connect"));
    ++srvtest::g_nConnects;
    return next(fd, addr, len);
}
