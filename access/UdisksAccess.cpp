#include "access/UdisksAccess.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <systemd/sd-bus.h>
#include <time.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string_view>

namespace pelorin {
namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr const char* kManagerPath = "/org/freedesktop/UDisks2/Manager";
// A password prompt may stay open a long time; cancel() ends the wait sooner.
constexpr uint64_t kCallTimeoutMicroseconds = uint64_t{24} * 3600 * 1000 * 1000;

using Outcome = DeviceAccessResult::Outcome;

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
struct MessageDeleter {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;
struct SlotDeleter {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using Slot = std::unique_ptr<sd_bus_slot, SlotDeleter>;

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

Bus connect(const std::string& address) {
    sd_bus* bus = nullptr;
    if (address.empty()) {
        if (sd_bus_open_system(&bus) < 0) return nullptr;
    } else {
        if (sd_bus_new(&bus) < 0) return nullptr;
        Bus owned(bus);
        if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
            sd_bus_start(bus) < 0)
            return nullptr;
        owned.release();
    }
    Bus owned(bus);
    sd_bus_negotiate_fds(bus, 1);
    // The method call flag that lets polkit ask the user instead of refusing at once.
    sd_bus_set_allow_interactive_authorization(bus, 1);
    return owned;
}

// How one call ended: a reply, an error reply, a broken connection or cancel().
struct CallEnd {
    Message reply;
    bool transportFailed = false;
    bool cancelled = false;
    std::string errorName;
    std::string errorMessage;
};

int storeReply(sd_bus_message* message, void* userdata, sd_bus_error*) {
    static_cast<CallEnd*>(userdata)->reply.reset(sd_bus_message_ref(message));
    return 1;
}

int millisecondsUntil(uint64_t monotonicMicroseconds) {
    if (monotonicMicroseconds == UINT64_MAX) return -1;
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowMicroseconds = uint64_t(now.tv_sec) * 1000000 + uint64_t(now.tv_nsec) / 1000;
    if (monotonicMicroseconds <= nowMicroseconds) return 0;
    const uint64_t wait = (monotonicMicroseconds - nowMicroseconds + 999) / 1000;
    return wait > INT32_MAX ? INT32_MAX : int(wait);
}

// Sends the call and waits for its end, watching the cancel descriptor too.
CallEnd call(sd_bus* bus, sd_bus_message* message, int cancelFd) {
    CallEnd end;
    sd_bus_slot* rawSlot = nullptr;
    if (sd_bus_call_async(bus, &rawSlot, message, storeReply, &end, kCallTimeoutMicroseconds) < 0) {
        end.transportFailed = true;
        return end;
    }
    const Slot slot(rawSlot);  // dropping it forgets the call, should we stop waiting
    while (!end.reply) {
        const int processed = sd_bus_process(bus, nullptr);
        if (processed < 0) {
            end.transportFailed = true;
            return end;
        }
        if (processed > 0) continue;
        uint64_t deadline = UINT64_MAX;
        sd_bus_get_timeout(bus, &deadline);
        pollfd watched[2] = {{sd_bus_get_fd(bus), short(sd_bus_get_events(bus)), 0}, {cancelFd, POLLIN, 0}};
        const int ready = ::poll(watched, 2, millisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR) {
            end.transportFailed = true;
            return end;
        }
        if (ready > 0 && (watched[1].revents & POLLIN)) {
            end.cancelled = true;
            return end;
        }
    }
    if (sd_bus_message_is_method_error(end.reply.get(), nullptr)) {
        const sd_bus_error* error = sd_bus_message_get_error(end.reply.get());
        end.errorName = error && error->name ? error->name : "";
        end.errorMessage = error && error->message ? error->message : "";
    }
    return end;
}

// What an error reply of the bus or the service means here.
Outcome outcomeOfError(std::string_view name) {
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" || name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        startsWith(name, "org.freedesktop.DBus.Error.Spawn."))
        return Outcome::NoService;
    if (name == "org.freedesktop.UDisks2.Error.NotAuthorized" ||
        name == "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain")
        return Outcome::NotAuthorised;
    if (name == "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed" ||
        name == "org.freedesktop.UDisks2.Error.Cancelled")
        return Outcome::Dismissed;
    // The block object went away between finding it and asking it.
    if (name == "org.freedesktop.DBus.Error.UnknownObject" || name == "org.freedesktop.DBus.Error.UnknownMethod")
        return Outcome::DeviceNotFound;
    return Outcome::Failed;
}

DeviceAccessResult failure(Outcome outcome, const CallEnd& end = {}) {
    DeviceAccessResult result;
    result.outcome = outcome;
    result.errorName = end.errorName;
    result.errorMessage = end.errorMessage;
    return result;
}

// A call that did not bring a reply to read.
DeviceAccessResult failureOf(const CallEnd& end) {
    if (end.cancelled) return failure(Outcome::Dismissed);
    if (end.transportFailed) return failure(Outcome::NoSystemBus);
    return failure(outcomeOfError(end.errorName), end);
}

}  // namespace

UdisksAccess::UdisksAccess(std::string busAddress)
    : busAddress_(std::move(busAddress)), cancelled_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void UdisksAccess::cancel() {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(cancelled_.get(), &one, sizeof one);
}

DeviceAccessResult UdisksAccess::openForReading(const std::string& deviceNode) {
    pollfd cancelCheck{cancelled_.get(), POLLIN, 0};
    if (::poll(&cancelCheck, 1, 0) > 0) return failure(Outcome::Dismissed);
    const Bus bus = connect(busAddress_);
    if (!bus) return failure(Outcome::NoSystemBus);

    // The block object of the device node.
    sd_bus_message* raw = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &raw, kService, kManagerPath, "org.freedesktop.UDisks2.Manager",
                                       "ResolveDevice") < 0)
        return failure(Outcome::NoSystemBus);
    Message resolve(raw);
    if (sd_bus_message_append(resolve.get(), "a{sv}", 1, "path", "s", deviceNode.c_str()) < 0 ||
        sd_bus_message_append(resolve.get(), "a{sv}", 0) < 0)
        return failure(Outcome::Failed);
    CallEnd resolved = call(bus.get(), resolve.get(), cancelled_.get());
    if (!resolved.reply || !resolved.errorName.empty()) return failureOf(resolved);
    const char* objectPath = nullptr;
    if (sd_bus_message_enter_container(resolved.reply.get(), 'a', "o") < 0) return failure(Outcome::Failed);
    if (sd_bus_message_read(resolved.reply.get(), "o", &objectPath) <= 0 || !objectPath)
        return failure(Outcome::DeviceNotFound);
    const std::string blockObject = objectPath;

    // A read-only descriptor of it, once polkit agrees.
    raw = nullptr;
    if (sd_bus_message_new_method_call(bus.get(), &raw, kService, blockObject.c_str(), "org.freedesktop.UDisks2.Block",
                                       "OpenForBackup") < 0)
        return failure(Outcome::Failed);
    Message open(raw);
    if (sd_bus_message_append(open.get(), "a{sv}", 0) < 0) return failure(Outcome::Failed);
    if (beforeAuthorisation_) beforeAuthorisation_();
    CallEnd opened = call(bus.get(), open.get(), cancelled_.get());
    if (!opened.reply || !opened.errorName.empty()) return failureOf(opened);
    int fd = -1;
    if (sd_bus_message_read(opened.reply.get(), "h", &fd) <= 0 || fd < 0) return failure(Outcome::Failed);
    // The message owns its descriptor; ours outlives it.
    DeviceAccessResult result;
    result.fd = UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    result.outcome = result.fd ? Outcome::Opened : Outcome::Failed;
    return result;
}

}  // namespace pelorin
