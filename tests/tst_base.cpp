// The low-level helpers everything else starts processes and waits with: what a child gets
// and what the parent keeps, whole writes through a pipe that takes little at a time, and the
// self-pipe that termination signals come through.
#include "descriptors.h"
#include "spawn.h"
#include "terminationPipe.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

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
};

QTEST_APPLESS_MAIN(BaseTest)
#include "tst_base.moc"
