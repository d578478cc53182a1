// The low-level helpers everything else starts processes and waits with: what a child gets
// and what the parent keeps, whole writes through a pipe that takes little at a time, and the
// self-pipe that termination signals come through.
#include "descriptors.h"
#include "spawn.h"
#include "terminationPipe.h"
#include "translate.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <clocale>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Runs a shell line; returns its wait status, and what it printed on output and error.
int runShell(const std::string& line, SpawnRequest request, std::string* out = nullptr)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) < 0)
        return -1;
    request.path = request.path.empty() ? "/bin/sh" : request.path;
    if (request.arguments.empty())
        request.arguments = {"sh", "-c", line};
    request.output = request.errors = fds[1];
    const pid_t pid = spawnProcess(request);
    close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        text.append(buf, size_t(n));
    close(fds[0]);
    int status = -1;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (out)
        *out = text;
    return status;
}

} // namespace

class BaseTest : public QObject
{
    Q_OBJECT

  private slots:
    // The child gets what the request says, and the parent keeps its own umask, signal
    // dispositions and environment.
    void spawnedChild()
    {
        std::string out;
        SpawnRequest request;
        request.umask = 077;
        request.environment = {"TAMBLIN_TEST_ENTRY=child's", "HOME=/elsewhere"};
        const mode_t ours = umask(022);
        QCOMPARE(runShell("umask; echo \"$TAMBLIN_TEST_ENTRY $HOME\"", request, &out), 0);
        QCOMPARE(QString::fromStdString(out), "0077\nchild's /elsewhere\n");
        QCOMPARE(umask(ours), mode_t(022));
        QVERIFY(!getenv("TAMBLIN_TEST_ENTRY"));

        // What we ignore, the child does not: it can be ended by a signal and a broken pipe.
        signal(SIGTERM, SIG_IGN);
        const int status = runShell("kill -TERM $$; echo survived", {}, &out);
        signal(SIGTERM, SIG_DFL);
        QVERIFY(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
        QVERIFY(out.empty());

        // A group of its own, when asked.
        SpawnRequest grouped;
        grouped.ownProcessGroup = true;
        QCOMPARE(runShell("[ \"$(ps -o pgid= $$ | tr -d ' ')\" = $$ ]", grouped), 0);
    }

    void programThatCannotRun()
    {
        std::string out;
        SpawnRequest request;
        request.path = "/nonexistent/player";
        request.arguments = {"player"};
        request.failureNote = "tamblin-test: ";
        const int status = runShell("", request, &out);
        QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 127);
        QCOMPARE(QString::fromStdString(out),
                 "tamblin-test: cannot run /nonexistent/player: No such file or directory\n");
    }

    // Our ends of the pipes are the right ones: what we write, the child reads, and what it
    // writes on each stream we read there.
    void pipesToTheChild()
    {
        SpawnRequest request;
        request.path = "/bin/sh";
        request.arguments = {"sh", "-c", "read line; echo \"out $line\"; echo \"err $line\" >&2"};
        int input = -1, output = -1, errors = -1;
        const pid_t pid = spawnWithPipes(request, &input, &output, &errors);
        QVERIFY(pid > 0);
        QVERIFY(writeAll(input, std::string("hello\n")));
        close(input);
        char buf[64];
        QCOMPARE(QByteArray(buf, int(read(output, buf, sizeof buf))), QByteArray("out hello\n"));
        QCOMPARE(QByteArray(buf, int(read(errors, buf, sizeof buf))), QByteArray("err hello\n"));
        close(output);
        close(errors);
        int status = -1;
        waitpid(pid, &status, 0);
        QCOMPARE(status, 0);
    }

    // A pipe that takes a little at a time still gets every byte, in order.
    // A signal without SA_RESTART cuts a blocking write short: writeAll goes on where it was
    // cut, so that the reader gets every byte once, in order.
    void wholeWrites()
    {
        static volatile sig_atomic_t interruptions = 0;
        struct sigaction cut = {}, saved;
        cut.sa_handler = [](int) { ++interruptions; };
        sigemptyset(&cut.sa_mask);
        cut.sa_flags = 0; // no SA_RESTART
        QCOMPARE(sigaction(SIGALRM, &cut, &saved), 0);
        // Only this thread takes the signal: the reader must not be the one cut short.
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        pthread_sigmask(SIG_BLOCK, &alarm, nullptr);

        int fds[2];
        QVERIFY(pipe(fds) == 0);
        std::string text;
        for (int i = 0; i < 400000; ++i)
            text += std::to_string(i) + '\n';
        std::string got;
        std::thread reader([&] {
            char buf[1000];
            ssize_t n;
            while ((n = read(fds[0], buf, sizeof buf)) > 0)
                got.append(buf, size_t(n));
        });
        pthread_sigmask(SIG_UNBLOCK, &alarm, nullptr);
        const itimerval every{{0, 200}, {0, 200}};
        QCOMPARE(setitimer(ITIMER_REAL, &every, nullptr), 0);
        const bool written = writeAll(fds[1], text);
        const itimerval off{};
        setitimer(ITIMER_REAL, &off, nullptr);
        close(fds[1]);
        reader.join();
        close(fds[0]);
        sigaction(SIGALRM, &saved, nullptr);
        QVERIFY(written);
        QVERIFY2(interruptions > 10, qPrintable(QString::number(interruptions)));
        QVERIFY(got == text);

        QVERIFY(!writeAll(-1, text));
        QCOMPARE(errno, EBADF);
        QVERIFY(!setNonBlocking(-1, true));
    }

    void terminationComesThroughThePipe()
    {
        const int fd = openTerminationPipe();
        QVERIFY(fd >= 0);
        QCOMPARE(openTerminationPipe(), fd); // once per process
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
            raise(sig);
            pollfd p{fd, POLLIN, 0};
            QCOMPARE(poll(&p, 1, 5000), 1);
            QCOMPARE(readTerminationPipe(fd), sig); // which one came, for the log
            QCOMPARE(poll(&p, 1, 0), 0);
        }
        raise(SIGHUP);
        raise(SIGINT);
        pollfd p{fd, POLLIN, 0};
        QCOMPARE(poll(&p, 1, 5000), 1);
        drainTerminationPipe(fd);
        QCOMPARE(poll(&p, 1, 0), 0);
        QCOMPARE(readTerminationPipe(fd), 0); // none since
        closeTerminationPipe();
        raise(SIGTERM); // ignored from here on
    }

    // The catalogues beside the program: share/locale above bin/, and above libexec/tamblin/,
    // as installed and in the build tree.
    void catalogueFolders_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("catalogues");
        QTest::newRow("bin/") << "/usr/bin"
                              << "/usr/bin/../share/locale";
        QTest::newRow("libexec/tamblin/") << "/usr/libexec/tamblin"
                                          << "/usr/libexec/tamblin/../../share/locale";
        QTest::newRow("build tree's adapter") << "/src/build/libexec/tamblin"
                                              << "/src/build/libexec/tamblin/../../share/locale";
        QTest::newRow("a folder only ending in tamblin") << "/opt/notamblin"
                                                         << "/opt/notamblin/../share/locale";
    }

    void catalogueFolders()
    {
        QFETCH(QString, folder);
        QFETCH(QString, catalogues);
        QCOMPARE(QString::fromStdString(catalogueFolder(folder.toStdString())), catalogues);
    }

    // The viewer's words from the build tree's catalogues (this test runs from beside bin/),
    // placeholders filled where the language puts them; numbers keep the C locale's dot.
    void translations_data()
    {
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<QString>("quit");
        QTest::addColumn<QString>("track");
        QTest::addColumn<QString>("resume");
        QTest::newRow("English") << QByteArray() << "Quit"
                                 << "Track 2"
                                 << "Resume from 12:34";
        QTest::newRow("French") << QByteArray("fr") << "Quitter"
                                << "Piste 2"
                                << "Reprendre à 12:34";
        QTest::newRow("Japanese") << QByteArray("ja") << "終了"
                                  << "トラック 2"
                                  << "12:34 から再生";
    }

    void translations()
    {
        QFETCH(QByteArray, language);
        QFETCH(QString, quit);
        QFETCH(QString, track);
        QFETCH(QString, resume);
        // gettext keeps what it found for a message: each language in a process of its own.
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("LC_ALL");
        env.remove("LC_MESSAGES");
        env.insert("LANG", "C.UTF-8");
        env.insert("LC_NUMERIC", "C.UTF-8");
        if (language.isEmpty())
            env.remove("LANGUAGE");
        else
            env.insert("LANGUAGE", QString::fromLatin1(language));
        env.insert("TAMBLIN_TEST_TRANSLATED", "1");
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(p.waitForFinished());
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        QCOMPARE(lines.value(0), quit);
        QCOMPARE(lines.value(1), track);
        QCOMPARE(lines.value(2), resume);
        QCOMPARE(lines.value(3), "C");
    }
};

// Run again by the translations test, in the environment of a viewer: prints the words.
int main(int argc, char** argv)
{
    if (getenv("TAMBLIN_TEST_TRANSLATED")) {
        startTranslations(argv[0]);
        printf("%s\n%s\n%s\n%s\n", tr("Quit"), tr("Track %d", 2).c_str(),
               tr("Resume from %s", std::string("12:34")).c_str(), setlocale(LC_NUMERIC, nullptr));
        return 0;
    }
    QCoreApplication app(argc, argv);
    BaseTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_base.moc"
