// A stand-in screen-saver service on the session bus: it hands out cookies for Inhibit and
// logs every call to the file named by its argument, one line each.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QObject>

#include <cstdio>

class ScreenSaver : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public:
    explicit ScreenSaver(const QString& logPath) : log_(logPath) {}

  public slots:
    uint Inhibit(const QString& application, const QString& reason)
    {
        const uint cookie = next_++;
        write(QStringLiteral("Inhibit %1 %2 -> %3").arg(application, reason).arg(cookie));
        return cookie;
    }
    void UnInhibit(uint cookie) { write(QStringLiteral("UnInhibit %1").arg(cookie)); }

  public:
    void write(const QString& line)
    {
        QFile f(log_);
        if (f.open(QIODevice::Append))
            f.write((line + QLatin1Char('\n')).toUtf8());
    }

  private:
    QString log_;
    uint next_ = 41;
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        fprintf(stderr, "usage: screen-saver-stand-in LOGFILE\n");
        return 2;
    }
    ScreenSaver saver(QString::fromLocal8Bit(argv[1]));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver,
                            QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        fprintf(stderr, "screen-saver-stand-in: cannot register\n");
        return 1;
    }
    saver.write(QStringLiteral("ready"));
    return app.exec();
}

#include "screenSaverStandIn.moc"
