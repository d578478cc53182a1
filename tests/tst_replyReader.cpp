// The menu query against a player on real pipes: which lines count as the answer, and how the
// wait ends when the player is gone, silent or late.
#include "player/commandChannel.h"
#include "player/fifoOpen.h"
#include "player/replyReader.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The window's two streams, with the player's ends held by the test.
struct Channels
{
    FILE* commands = nullptr; // the window writes queries here
    int playerReads = -1;     // ... and the player reads them here
    FILE* output = nullptr;   // the window reads the player's output here
    int playerWrites = -1;    // ... which the player writes here

    Channels()
    {
        int c[2], o[2];
        if (pipe(c) < 0 || pipe(o) < 0)
            qFatal("pipe");
        commands = fdopen(c[1], "w");
        playerReads = c[0];
        fcntl(playerReads, F_SETFL, O_NONBLOCK);
        output = fdopen(o[0], "r");
        playerWrites = o[1];
    }
    ~Channels()
    {
        fclose(commands);
        fclose(output);
        close(playerReads);
        if (playerWrites >= 0)
            close(playerWrites);
    }
    void say(const QByteArray& text) const
    {
        QCOMPARE(write(playerWrites, text.constData(), size_t(text.size())), text.size());
    }
    void hangUp()
    {
        close(playerWrites);
        playerWrites = -1;
    }
    QByteArray heard() const
    {
        char buf[4096];
        ssize_t n = read(playerReads, buf, sizeof buf);
        return n > 0 ? QByteArray(buf, int(n)) : QByteArray();
    }
};

} // namespace

class ReplyReaderTest : public QObject
{
    Q_OBJECT

  private slots:
    // After QTest has put in its own handlers: a broken pipe must show up as a failed write.
    void initTestCase() { signal(SIGPIPE, SIG_IGN); }

    // What the player says, whether it then hangs up, and what the query makes of it.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("output");
        QTest::addColumn<bool>("hangUp");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("gone");
        QTest::newRow("hidden") << QByteArray("ANS_MENU_VISIBILITY=0\n") << false << false << false;
        QTest::newRow("visible") << QByteArray("ANS_MENU_VISIBILITY=1\n") << false << true << false;
        QTest::newRow("substring: =10 counts as visible")
            << QByteArray("ANS_MENU_VISIBILITY=10\n") << false << true << false;
        QTest::newRow("other value")
            << QByteArray("ANS_MENU_VISIBILITY=yes\n") << false << false << false;
        QTest::newRow("text before the marker")
            << QByteArray("A: 12.3 V: 12.3 ANS_MENU_VISIBILITY=1\n") << false << true << false;
        QTest::newRow("other lines drained first")
            << QByteArray("Playing x.avi.\nANS_LENGTH=8\nmenu ANS_MENU_VISIBILITY\n") << false
            << false << false;
        QTest::newRow("marker across byte 255 is not recognised")
            << QByteArray(240, 'x') + "ANS_MENU_VISIBILITY=1" + QByteArray(39, 'y') +
                   "\nANS_MENU_VISIBILITY=0\n"
            << false << false << false;
        QTest::newRow("marker ending at byte 255 is whole in the first piece")
            << QByteArray(234, 'x') + "ANS_MENU_VISIBILITY=1\nANS_MENU_VISIBILITY=0\n"
            << false << true << false;
        QTest::newRow("marker whole in the second piece")
            << QByteArray(255, 'x') + "ANS_MENU_VISIBILITY=1\nANS_MENU_VISIBILITY=0\n"
            << false << true << false;
        QTest::newRow("silent player: hidden at the bound, not gone")
            << QByteArray("ANS_LENGTH=8\n") << false << false << false;
        QTest::newRow("last line without a line feed")
            << QByteArray("ANS_MENU_VISIBILITY=1") << true << true << false;
        // The wait ends at the end of file, as the player gone, not at its bound.
        QTest::newRow("player ends silent") << QByteArray() << true << false << true;
        QTest::newRow("player ends mid-answer")
            << QByteArray("Exiting...\nANS_MENU_VIS") << true << false << true;
    }

    void answers()
    {
        QFETCH(QByteArray, output);
        QFETCH(bool, hangUp);
        QFETCH(bool, visible);
        QFETCH(bool, gone);
        Channels ch;
        ReplyReader reader(ch.output);
        ch.say(output);
        if (hangUp)
            ch.hangUp();
        // What the player said is in the pipe already: only the silent one waits this long.
        const MenuState state = queryMenuVisibility(ch.commands, reader, 500);
        QCOMPARE(ch.heard(), QByteArray("get_menu_visibility\n"));
        QCOMPARE(state.visible, visible);
        QCOMPARE(state.playerGone, gone);
        QCOMPARE(reader.ended(), hangUp);
        QCOMPARE(reader.drain(), !hangUp);
    }

    // fgets() would have waited for the rest of the line: so does the reader.
    void answerArrivingInParts()
    {
        Channels ch;
        ReplyReader reader(ch.output);
        ch.say("ANS_MENU_VIS");
        // The rest comes once the reader has taken the first part, and waits for more.
        std::thread rest([&] {
            int unread = 1;
            while (ioctl(fileno(ch.output), FIONREAD, &unread) == 0 && unread > 0)
                std::this_thread::yield();
            ch.say("IBILITY=1\n");
        });
        const MenuState state = queryMenuVisibility(ch.commands, reader, 2000);
        rest.join();
        QVERIFY(state.visible);
    }

    // The answer to a query that timed out must not be taken for the answer to the next one,
    // whether it is drained between key presses or arrives during the next wait.
    void lateAnswerIsNotTakenForTheNext_data()
    {
        QTest::addColumn<bool>("drainedBetween");
        QTest::newRow("drained between key presses") << true;
        QTest::newRow("read during the next wait") << false;
    }

    void lateAnswerIsNotTakenForTheNext()
    {
        QFETCH(bool, drainedBetween);
        Channels ch;
        ReplyReader reader(ch.output);
        QVERIFY(!queryMenuVisibility(ch.commands, reader, 100).visible);
        ch.say("ANS_MENU_VISIBILITY=1\n");
        if (drainedBetween) {
            QVERIFY(reader.drain());
        }
        ch.say("ANS_MENU_VISIBILITY=0\n");
        QVERIFY(!queryMenuVisibility(ch.commands, reader, 2000).visible);
        ch.say("ANS_MENU_VISIBILITY=1\n");
        QVERIFY(queryMenuVisibility(ch.commands, reader, 2000).visible);
    }

    // Idle output is dropped in whole pieces, so a drain never re-cuts a long line.
    void drainKeepsPieceBoundaries()
    {
        Channels ch;
        ReplyReader reader(ch.output);
        ch.say(QByteArray(240, 'x'));
        QVERIFY(reader.drain());
        ch.say("ANS_MENU_VISIBILITY=1" + QByteArray(39, 'y') + "\nANS_MENU_VISIBILITY=0\n");
        QVERIFY(!queryMenuVisibility(ch.commands, reader, 2000).visible);
    }

    // Output that cannot be read without blocking would make every wait unbounded: it is
    // taken as ended, at once.
    void outputThatWouldBlockCountsAsEnded()
    {
        char text[] = "ANS_MENU_VISIBILITY=1\n";
        FILE* noDescriptor = fmemopen(text, sizeof text - 1, "r");
        ReplyReader reader(noDescriptor);
        QVERIFY(reader.ended());
        QElapsedTimer t;
        t.start();
        bool visible = false;
        reader.expectAnswer();
        QCOMPARE(reader.waitForAnswer(60000, &visible), ReplyReader::Ended);
        QVERIFY(t.elapsed() < 1000);
        // Nor does the FIFO's open wait for a player whose output has ended.
        QTemporaryDir dir;
        const QByteArray fifo = QFile::encodeName(dir.path() + "/pipe");
        QVERIFY(mkfifo(fifo.constData(), 0600) == 0);
        t.restart();
        QVERIFY(!openCommandFifo(fifo.constData(), &reader, 60000));
        QVERIFY(t.elapsed() < 1000);
        fclose(noDescriptor);
    }

    void queryToAClosedFifoReportsThePlayerGone()
    {
        Channels ch;
        ReplyReader reader(ch.output);
        close(ch.playerReads);
        ch.playerReads = open("/dev/null", O_RDONLY);
        const MenuState state = queryMenuVisibility(ch.commands, reader, 60000);
        QVERIFY(state.playerGone);
    }
};

QTEST_APPLESS_MAIN(ReplyReaderTest)

#include "tst_replyReader.moc"
