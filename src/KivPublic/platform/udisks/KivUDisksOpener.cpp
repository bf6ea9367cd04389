#include "KivUDisksOpener.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "platform/KivBlockDev.h"

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
constexpr const char* kManager = "org.freedesktop.UDisks2.Manager";
constexpr const char* kBlock = "org.freedesktop.UDisks2.Block";
// Long enough for a person to type the administrator password at polkit's prompt.
constexpr uint64_t kCallTimeoutUs = 120ull * 1000 * 1000;

struct BusDeleter {
    void operator()(sd_bus* p) const { sd_bus_flush_close_unref(p); }
};
struct MsgDeleter {
    void operator()(sd_bus_message* p) const { sd_bus_message_unref(p); }
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
using MsgPtr = std::unique_ptr<sd_bus_message, MsgDeleter>;

// sd_bus_error released on every path.
struct BusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&e); }
    bool Is(const char* pszName) const { return sd_bus_error_has_name(&e, pszName); }
    std::string Text() const { return e.message ? e.message : (e.name ? e.name : "unknown error"); }
};

bool IsUnreachable(const BusError& err) {
    return err.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || err.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           err.Is(SD_BUS_ERROR_NO_REPLY) || err.Is("org.freedesktop.DBus.Error.Spawn.ServiceNotFound");
}

}  // namespace

std::string CKivUDisksOpener::AdminHint() {
    return "reading raw disks needs administrator rights: start the program with them (for example "
           "'sudo undelia-cli ...'), or add your user to group 'disk', or image the disk first and open the image";
}

int CKivUDisksOpener::Fail(const std::string& strWhy, bool bUnavailable, char* pszWhy, uint32_t nWhySize) {
    m_strReason = strWhy;
    m_bUnavailable = bUnavailable;
    if (pszWhy && nWhySize) {
        std::strncpy(pszWhy, strWhy.c_str(), nWhySize - 1);
        pszWhy[nWhySize - 1] = 0;
    }
    return -1;
}

int CKivUDisksOpener::OpenReadOnly(const char* pszPath, char* pszWhy, uint32_t nWhySize) {
    m_strReason.clear();
    m_bUnavailable = false;
    if (!pszPath || !*pszPath) return Fail("no device named", false, pszWhy, nWhySize);
    const std::string path = pszPath;

    sd_bus* pRaw = nullptr;
    // The system bus (DBUS_SYSTEM_BUS_ADDRESS names another one, as the tests do).
    if (sd_bus_open_system(&pRaw) < 0 || !pRaw)
        return Fail("udisks2 cannot be reached (no system D-Bus); " + AdminHint(), true, pszWhy, nWhySize);
    BusPtr bus(pRaw);
    sd_bus_set_allow_interactive_authorization(bus.get(), 1);
    sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);

    // Which udisks2 object is this device.
    BusError err;
    sd_bus_message* pReply = nullptr;
    int r = sd_bus_call_method(bus.get(), kService, kManagerPath, kManager, "ResolveDevice", &err.e, &pReply,
                               "a{sv}a{sv}", 1, "path", "s", pszPath, 0);
    MsgPtr reply(pReply);
    if (r < 0) {
        if (IsUnreachable(err))
            return Fail("udisks2 is not running; " + AdminHint(), true, pszWhy, nWhySize);
        return Fail("udisks2 cannot find " + path + ": " + err.Text(), false, pszWhy, nWhySize);
    }
    std::string object;
    if (sd_bus_message_enter_container(reply.get(), 'a', "o") > 0) {
        const char* pszObject = nullptr;
        if (sd_bus_message_read(reply.get(), "o", &pszObject) > 0 && pszObject) object = pszObject;
    }
    if (object.empty()) return Fail("udisks2 does not manage " + path, false, pszWhy, nWhySize);

    // Opened read-only by udisks2 after polkit agreed; the descriptor belongs to the reply, so it
    // is duplicated before the reply goes.
    BusError openErr;
    pReply = nullptr;
    r = sd_bus_call_method(bus.get(), kService, object.c_str(), kBlock, "OpenDevice", &openErr.e, &pReply, "sa{sv}",
                           "r", 0);
    reply.reset(pReply);
    if (r < 0 && openErr.Is(SD_BUS_ERROR_UNKNOWN_METHOD)) {
        BusError backupErr;
        pReply = nullptr;
        r = sd_bus_call_method(bus.get(), kService, object.c_str(), kBlock, "OpenForBackup", &backupErr.e, &pReply,
                               "a{sv}", 0);
        reply.reset(pReply);
        if (r < 0) return Fail("udisks2 refused to open " + path + ": " + backupErr.Text(), false, pszWhy, nWhySize);
    } else if (r < 0) {
        return Fail("udisks2 refused to open " + path + ": " + openErr.Text(), false, pszWhy, nWhySize);
    }
    int fd = -1;
    if (sd_bus_message_read(reply.get(), "h", &fd) <= 0 || fd < 0)
        return Fail("udisks2 answered without a descriptor for " + path, false, pszWhy, nWhySize);
    int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (own < 0) return Fail("cannot keep the descriptor udisks2 passed for " + path, false, pszWhy, nWhySize);
    // The device library checks again; refusing here too lets the user read why.
    if (!KivIsReadOnlyFdOf(own, path)) {
        ::close(own);
        return Fail("the descriptor handed over for " + path + " was not read-only on that device; refused", false,
                    pszWhy, nWhySize);
    }
    return own;
}
