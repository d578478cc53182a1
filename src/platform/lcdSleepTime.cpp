#include "platform/lcdSleepTime.h"
#include "platform/xScreenSaverHold.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

#include <cstdio>

namespace {

const char kService[] = "org.freedesktop.ScreenSaver";
const char kPath[] = "/org/freedesktop/ScreenSaver";
const char kInterface[] = "org.freedesktop.ScreenSaver";
// A hung screen saver must not hold up the start or the end of a run for long.
const int kCallTimeoutMs = 2000;
const int kHoldFromSeconds = 3600;

bool holding = false;
uint cookie = 0;
bool holdingX = false;
bool reported = false;

// The run goes on without the screen saver; one line says so.
void reportOnce(const QString& what)
{
    if (reported)
        return;
    reported = true;
    fprintf(stderr, "tamblin: cannot keep the display on: %s\n", qPrintable(what));
}

QDBusMessage call(const char* method, const QList<QVariant>& args)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QString::fromLatin1(method));
    message.setArguments(args);
    return QDBusConnection::sessionBus().call(message, QDBus::Block, kCallTimeoutMs);
}

// Without the service, X's own screen saver and DPMS; one line says which hold is used, or that
// none is.
void holdWithoutBus(const QString& why)
{
    std::string what;
    holdingX = holdXScreenSaver(&what);
    if (reported)
        return;
    reported = true;
    if (holdingX)
        fprintf(stderr, "tamblin: no screen saver on the session bus (%s): holding %s instead\n",
                qPrintable(why), what.c_str());
    else if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        fprintf(stderr,
                "tamblin: cannot keep the display on under this Wayland compositor: no screen "
                "saver on the session bus (%s), and %s\n",
                qPrintable(why), what.c_str());
    else
        fprintf(stderr,
                "tamblin: cannot keep the display on: no screen saver on the session bus "
                "(%s), and %s\n",
                qPrintable(why), what.c_str());
}

} // namespace

void PM_setupLcdSleepTime(int seconds)
{
    if (seconds < kHoldFromSeconds && holdingX) {
        releaseXScreenSaver();
        holdingX = false;
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (seconds >= kHoldFromSeconds) {
        if (holding || holdingX)
            return;
        if (!bus.isConnected()) {
            holdWithoutBus(QStringLiteral("no session bus"));
            return;
        }
        QDBusReply<uint> reply =
            call("Inhibit", {QCoreApplication::applicationName(), QStringLiteral("Playing media")});
        if (!reply.isValid()) {
            holdWithoutBus(reply.error().message());
            return;
        }
        cookie = reply.value();
        holding = true;
    } else {
        if (!holding)
            return;
        holding = false;
        QDBusMessage reply = call("UnInhibit", {cookie});
        if (reply.type() == QDBusMessage::ErrorMessage)
            reportOnce(reply.errorMessage());
    }
}
