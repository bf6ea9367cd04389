// A stand-in for udisks2 on a private bus, for the tests: serves Manager.ResolveDevice and
// Block.OpenDevice / Block.OpenForBackup for the paths named on the command line.
//   fake-udisks2 --mode grant|slow|deny|writable|other|backup-only PATH...
// grant: opens the path read-only; slow: the same after half a second (a user typing the
// password at polkit's prompt); deny: answers NotAuthorized; writable: opens the file behind the
// loop device read-write (a block device is never opened for writing, not even here);
// other: hands over a descriptor of another file; backup-only: no OpenDevice (older udisks2).
// Connects to $DBUS_SYSTEM_BUS_ADDRESS, prints "ready" once it owns the name, runs until killed.
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

std::string g_mode = "grant";
std::vector<std::string> g_paths;
std::vector<std::string> g_objects;

// "/dev/loop3" -> the file it reads, from sysfs.
std::string BackingFile(const std::string& dev) {
    std::string name = dev.substr(dev.rfind('/') + 1), file;
    std::ifstream in("/sys/block/" + name + "/loop/backing_file");
    std::getline(in, file);
    return file;
}

int OpenFor(sd_bus_message* m, size_t i, sd_bus_error* err) {
    if (g_mode == "deny")
        return sd_bus_error_set(err, "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain",
                                "Not authorized to perform operation");
    if (g_mode == "slow") ::usleep(500 * 1000);
    int fd = -1;
    if (g_mode == "writable") fd = ::open(BackingFile(g_paths[i]).c_str(), O_RDWR | O_CLOEXEC);
    else if (g_mode == "other") fd = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    else fd = ::open(g_paths[i].c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return sd_bus_error_set_errno(err, errno);
    int r = sd_bus_reply_method_return(m, "h", fd);  // the reply carries a duplicate
    ::close(fd);
    return r;
}

// Skips the options dictionary a{sv}.
int SkipOptions(sd_bus_message* m) { return sd_bus_message_skip(m, "a{sv}"); }

int OpenDevice(sd_bus_message* m, void* userdata, sd_bus_error* err) {
    const char* mode = nullptr;
    if (sd_bus_message_read(m, "s", &mode) < 0 || SkipOptions(m) < 0) return -EINVAL;
    if (std::strcmp(mode, "r") != 0)
        return sd_bus_error_set(err, "org.freedesktop.UDisks2.Error.Failed", "the tests only ask for \"r\"");
    return OpenFor(m, reinterpret_cast<size_t>(userdata), err);
}

int OpenForBackup(sd_bus_message* m, void* userdata, sd_bus_error* err) {
    if (SkipOptions(m) < 0) return -EINVAL;
    return OpenFor(m, reinterpret_cast<size_t>(userdata), err);
}

int ResolveDevice(sd_bus_message* m, void*, sd_bus_error*) {
    std::string path;
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0) return -EINVAL;
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char* key = nullptr;
        sd_bus_message_read(m, "s", &key);
        if (key && std::strcmp(key, "path") == 0) {
            const char* value = nullptr;
            sd_bus_message_read(m, "v", "s", &value);
            if (value) path = value;
        } else {
            sd_bus_message_skip(m, "v");
        }
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    sd_bus_message* reply = nullptr;
    sd_bus_message_new_method_return(m, &reply);
    sd_bus_message_open_container(reply, 'a', "o");
    for (size_t i = 0; i < g_paths.size(); ++i)
        if (g_paths[i] == path) sd_bus_message_append(reply, "o", g_objects[i].c_str());
    sd_bus_message_close_container(reply);
    int r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("ResolveDevice", "a{sv}a{sv}", "ao", ResolveDevice, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kBlock[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenDevice", "sa{sv}", "h", OpenDevice, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("OpenForBackup", "a{sv}", "h", OpenForBackup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};
const sd_bus_vtable kBlockOld[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenForBackup", "a{sv}", "h", OpenForBackup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END};

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc) g_mode = argv[++i];
        else g_paths.push_back(argv[i]);
    }
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0) {
        std::fprintf(stderr, "fake-udisks2: no bus\n");
        return 1;
    }
    sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                             kManager, nullptr);
    for (size_t i = 0; i < g_paths.size(); ++i) {
        g_objects.push_back("/org/freedesktop/UDisks2/block_devices/dev" + std::to_string(i));
        sd_bus_add_object_vtable(bus, nullptr, g_objects[i].c_str(), "org.freedesktop.UDisks2.Block",
                                 g_mode == "backup-only" ? kBlockOld : kBlock, reinterpret_cast<void*>(i));
    }
    if (sd_bus_request_name(bus, "org.freedesktop.UDisks2", 0) < 0) {
        std::fprintf(stderr, "fake-udisks2: cannot own the name\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        int r = sd_bus_process(bus, nullptr);
        if (r < 0) break;
        if (r == 0) sd_bus_wait(bus, UINT64_MAX);
    }
    sd_bus_flush_close_unref(bus);
    return 0;
}
