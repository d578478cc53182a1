#include "logind.h"

#include <cstring>
#include <systemd/sd-bus.h>

namespace {

// logind answers at once or not at all; a hung one must not hold a run's start or the adapter.
const uint64_t kCallTimeoutUs = 3 * 1000 * 1000;

std::string errorText(const sd_bus_error& error, int r)
{
    if (error.message && *error.message)
        return std::string(error.name ? error.name : "") + ": " + error.message;
    if (error.name)
        return error.name;
    return strerror(-r);
}

// Calls an org.freedesktop.login1.Manager method; its reply, or nullptr with why.
sd_bus_message* callManager(const std::string& method, bool withInteractive, std::string* why)
{
    sd_bus* bus = nullptr;
    int r = sd_bus_open_system(&bus);
    if (r < 0) {
        if (why)
            *why = std::string("no system bus: ") + strerror(-r);
        return nullptr;
    }
    sd_bus_set_method_call_timeout(bus, kCallTimeoutUs);
    sd_bus_error error{}; // SD_BUS_ERROR_NULL, without its C99 compound literal
    sd_bus_message* reply = nullptr;
    const char* destination = "org.freedesktop.login1";
    const char* path = "/org/freedesktop/login1";
    const char* interface = "org.freedesktop.login1.Manager";
    if (withInteractive)
        r = sd_bus_call_method(bus, destination, path, interface, method.c_str(), &error, &reply,
                               "b", 0);
    else
        r = sd_bus_call_method(bus, destination, path, interface, method.c_str(), &error, &reply,
                               "");
    if (r < 0 && why)
        *why = errorText(error, r);
    sd_bus_error_free(&error);
    // The reply holds its own reference to the bus.
    sd_bus_flush_close_unref(bus);
    return r < 0 ? nullptr : reply;
}

} // namespace

std::string logindCan(const std::string& action, std::string* why)
{
    sd_bus_message* reply = callManager("Can" + action, false, why);
    if (!reply)
        return {};
    const char* answer = nullptr;
    const int r = sd_bus_message_read(reply, "s", &answer);
    std::string text = r > 0 && answer ? answer : "";
    if (text.empty() && why)
        *why = "logind's answer to Can" + action + " is not a word";
    sd_bus_message_unref(reply);
    return text;
}

bool logindDo(const std::string& action, std::string* why)
{
    sd_bus_message* reply = callManager(action, true, why);
    sd_bus_message_unref(reply);
    return reply != nullptr;
}
