#include "KivUDisksOpener.h"

#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
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
struct SlotDeleter {
    void operator()(sd_bus_slot* p) const { sd_bus_slot_unref(p); }
};
using BusPtr = std::unique_ptr<sd_bus, BusDeleter>;
using MsgPtr = std::unique_ptr<sd_bus_message, MsgDeleter>;
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotDeleter>;

// sd_bus_error released on every path.
struct BusError {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~BusError() { sd_bus_error_free(&e); }
    bool Is(const char* pszName) const { return sd_bus_error_has_name(&e, pszName); }
    std::string Text() const { return e.message ? e.message : (e.name ? e.name : "unknown error"); }
};

// How often the wait hook runs while an answer is awaited.
constexpr uint64_t kHookPeriodUs = 20 * 1000;

// The answer of one call, filled by OnReply.
struct Pending {
    bool bDone = false;
    MsgPtr reply;
    BusError* pErr = nullptr;
};

int OnReply(sd_bus_message* m, void* pUser, sd_bus_error*) {
    auto* p = static_cast<Pending*>(pUser);
    p->bDone = true;
    if (const sd_bus_error* e = sd_bus_message_get_error(m)) sd_bus_error_copy(&p->pErr->e, e);
    else p->reply.reset(sd_bus_message_ref(m));
    return 1;
}

// A method call of udisks2 answered as sd_bus_call_method answers (< 0 with *pErr on failure), but
// sent without blocking: while polkit asks the user, the hook runs every few milliseconds, so a
// window on this thread stays painted. A timed-out call ends as an error reply of sd-bus.
template <typename... Args>
int CallUDisks(sd_bus* pBus, void (*pfnWait)(), const char* pszObject, const char* pszIface, const char* pszMember,
               BusError* pErr, MsgPtr* pReply, const char* pszTypes, Args... args) {
    Pending pending;
    pending.pErr = pErr;
    sd_bus_slot* pSlot = nullptr;
    int r = sd_bus_call_method_async(pBus, &pSlot, kService, pszObject, pszIface, pszMember, OnReply, &pending,
                                     pszTypes, args...);
    if (r < 0) return sd_bus_error_set_errno(&pErr->e, r);
    SlotPtr slot(pSlot);  // released before the bus, cancelling a call still pending
    while (!pending.bDone) {
        r = sd_bus_process(pBus, nullptr);
        if (r < 0) return sd_bus_error_set_errno(&pErr->e, r);
        if (r > 0) continue;
        if (pfnWait) pfnWait();
        r = sd_bus_wait(pBus, pfnWait ? kHookPeriodUs : UINT64_MAX);
        if (r < 0 && r != -EINTR) return sd_bus_error_set_errno(&pErr->e, r);
    }
    if (!pending.reply) return sd_bus_error_get_errno(&pErr->e) > 0 ? -sd_bus_error_get_errno(&pErr->e) : -EIO;
    *pReply = std::move(pending.reply);
    return 1;
}

bool IsUnreachable(const BusError& err) {
    return err.Is(SD_BUS_ERROR_SERVICE_UNKNOWN) || err.Is(SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
           err.Is(SD_BUS_ERROR_NO_REPLY) || err.Is("org.freedesktop.DBus.Error.Spawn.ServiceNotFound");
}

}  // namespace

std::string CKivUDisksOpener::CommandLineHint() {
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
    MsgPtr reply;
    int r = CallUDisks(bus.get(), m_pfnWait, kManagerPath, kManager, "ResolveDevice", &err, &reply, "a{sv}a{sv}", 1,
                       "path", "s", pszPath, 0);
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
    r = CallUDisks(bus.get(), m_pfnWait, object.c_str(), kBlock, "OpenDevice", &openErr, &reply, "sa{sv}", "r", 0);
    if (r < 0 && openErr.Is(SD_BUS_ERROR_UNKNOWN_METHOD)) {
        BusError backupErr;
        r = CallUDisks(bus.get(), m_pfnWait, object.c_str(), kBlock, "OpenForBackup", &backupErr, &reply, "a{sv}", 0);
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
