#include "platform/lcdSleepTime.h"

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

} // namespace

void PM_setupLcdSleepTime(int seconds)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        reportOnce(QStringLiteral("no session bus"));
        return;
    }
    if (seconds >= kHoldFromSeconds) {
        if (holding)
            return;
        QDBusReply<uint> reply =
            call("Inhibit", {QCoreApplication::applicationName(), QStringLiteral("Playing media")});
        if (!reply.isValid()) {
            reportOnce(reply.error().message());
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
