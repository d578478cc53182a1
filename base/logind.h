#pragma once

#include <string>

// logind on the system bus (DBUS_SYSTEM_BUS_ADDRESS honoured), through sd-bus. action:
// "PowerOff", "Reboot", "Suspend". Each call has a bus of its own, so that any thread may ask;
// each answer is waited for a few seconds at most: a logind that does not answer holds nothing.

// What Can<action> answers ("yes", "no", "challenge", "na"); empty, with why, when logind cannot
// be asked.
std::string logindCan(const std::string& action, std::string* why = nullptr);

// Asks logind to do it, with interactive false (no password asked of anyone: polkit says yes
// or no); false with why when refused or unanswered.
bool logindDo(const std::string& action, std::string* why);
