// The user's MPlayer options and the window's commands in mpv's words, and Debian's mpv taking
// every option.
#include "mpvCommands.h"
#include "mpvOptions.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

namespace {

std::vector<std::string> toStd(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& s : list)
        out.push_back(s.toStdString());
    return out;
}

QStringList toQt(const std::vector<std::string>& list)
{
    QStringList out;
    for (const std::string& s : list)
        out << QString::fromStdString(s);
    return out;
}

// Words split at spaces.
QStringList w(const char* text)
{
    return QString(text).split(' ', Qt::SkipEmptyParts);
}

const char kOddName[] = "odd, name:'$ ~.srt";

QByteArray runMpv(const QStringList& args, const QString& folder, int* status)
{
    QProcess mpv;
    mpv.setWorkingDirectory(folder);
    mpv.setProcessChannelMode(QProcess::MergedChannels);
    mpv.start("/usr/bin/mpv", QStringList{"--no-config"} + args);
    if (!mpv.waitForFinished(60000)) {
        mpv.kill();
        mpv.waitForFinished();
    }
    *status = mpv.exitStatus() == QProcess::NormalExit ? mpv.exitCode() : -1;
    return mpv.readAll();
}

} // namespace

class MpvOptionsTest : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

  private slots:
    void initTestCase()
    {
        QVERIFY(dir.isValid());
        QVERIFY2(
            QProcess::execute("ffmpeg", {"-v", "error", "-f", "lavfi", "-i",
                                         "testsrc2=size=64x48:rate=10:duration=1", "-f", "lavfi",
                                         "-i", "sine=duration=1", "-c:v", "mpeg4", "-c:a", "mp2",
                                         "-shortest", dir.filePath("clip.mkv")}) == 0,
            "ffmpeg made no clip");
        QFile sub(dir.filePath(kOddName));
        QVERIFY(sub.open(QIODevice::WriteOnly));
        sub.write("1\n00:00:00,000 --> 00:00:01,000\nhello\n");
    }

    void translation_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QString>("videoOutput");

        QTest::newRow("drivers without suboptions") << w("-ao alsa:device=hw=0.0 -vo gl:yuv=2")
                                                    << w("--ao=alsa --vo=gpu") << w("") << "gpu";
        QTest::newRow("drivers mpv lacks are named")
            << w("-ao oss -vo directfb,xv,gl_nosw,") << w("--vo=xv,gpu")
            << QStringList{"-ao oss", "-vo directfb"} << "xv,gpu";
        QTest::newRow("what mpv does already, and the caller's own, quietly")
            << w("-fs -zoom -quiet -really-quiet -nolirc -nojoystick -softvol -slave -input "
                 "file=/p -nortc -menu-startup bg.avi -wid 12 -nomouseinput -idle -wid")
            << w("") << w("") << "";
        QTest::newRow("values as they are")
            << w("-osdlevel 2 -volume 50.5 -ss 1:05.5 -delay -0.25")
            << w("--osd-level=2 --volume=50.5 --start=1:05.5 --audio-delay=-0.25") << w("") << "";
        QTest::newRow("values rewritten")
            << w("-loop 0 -loop 1 -loop 3 -sid 0 -cache 8192 -fps 25 -brightness 010")
            << w("--loop-file=inf --loop-file=no --loop-file=2 --sid=1 --cache=yes "
                 "--demuxer-max-bytes=8192KiB --no-correct-pts --fps=25 --brightness=10")
            << w("") << "";
        QTest::newRow("options without values")
            << w("-nosound -noaspect -hardframedrop -nosub")
            << w("--no-audio --video-aspect-override=no --framedrop=decoder+vo --no-sub") << w("")
            << "";
        QTest::newRow("audio filters: decibels, mpv's names, the rest named")
            << w("-af volume=-3,volnorm,scaletempo=speed=pitch,channels=2,resample=48000")
            << w("--af=volume=-3dB,scaletempo=speed=pitch,aresample=48000")
            << QStringList{"-af volnorm", "-af channels=2"} << "";
        QTest::newRow("video filters renamed and reshaped")
            << w("-vf expand=100:80,flip,mirror,rotate=1,eq=10:-10,foo,pp=de/-al")
            << w("--vf=pad=100:80:(ow-iw)/2:(oh-ih)/2,vflip,hflip,transpose=1,"
                 "eq=brightness=0.10:contrast=0.90,pp=de/-al")
            << QStringList{"-vf foo"} << "";
        QTest::newRow("values mpv would refuse")
            << w("-osdlevel 7 -volume abc -loop -1 -speed 1e2 -ss 1:75 -channels 0 -aspect 0:0 "
                 "-vf pp=x1,rotate=5")
            << w("")
            << QStringList{"-osdlevel 7", "-volume abc", "-loop -1",  "-speed 1e2",  "-ss 1:75",
                           "-channels 0", "-aspect 0:0", "-vf pp=x1", "-vf rotate=5"}
            << "";
        QTest::newRow("unknown options, stray words, a missing value")
            << w("-someunknown file.avi -aid 1 -ao null -volume") << w("--ao=null")
            << QStringList{"-someunknown", "file.avi", "-aid 1", "-volume"} << "";
        QTest::newRow("a file name is one argument, read as a path")
            << QStringList{"-sub", kOddName, "-sub", "/s/a.srt", "-sub", "memory://b", "-sub", "-"}
            << QStringList{QString("--sub-file=./") + kOddName, "--sub-file=/s/a.srt",
                           "--sub-file=./memory://b", "--sub-file=./-"}
            << w("") << "";
    }

    void translation()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, options);
        QFETCH(QStringList, dropped);
        QFETCH(QString, videoOutput);

        const MpvOptions out = translateOptions(toStd(words));
        QCOMPARE(toQt(out.options), options);
        QCOMPARE(toQt(out.dropped), dropped);
        QCOMPARE(QString::fromStdString(out.videoOutput), videoOutput);
    }

    // The window's slave commands, without their pausing prefixes: mpv's request ("" when it has
    // none), the answer a query gets ("NAME FORMAT"), and whether it waits for the file to open.
    void commands_data()
    {
        QTest::addColumn<QString>("slave");
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("needsFile");
        const struct
        {
            const char *slave, *request, *answer;
            bool needsFile;
        } rows[] = {
            {"pause", R"(["cycle","pause"])", "", false},
            {"frame_step", R"(["frame-step"])", "", true},
            {"seek -10", R"(["osd-auto","seek",-10.0,"relative"])", "", true},
            {"seek 50 1", R"(["osd-auto","seek",50.0,"absolute-percent"])", "", true},
            {"seek 15 2", R"(["osd-auto","seek",15.0,"absolute"])", "", true},
            {"seek x", "", "", false},
            {"volume -1", R"(["osd-auto","add","volume",-1.0])", "", false},
            {"volume 50 1", R"(["osd-auto","set","volume","50"])", "", false},
            {"mute", R"(["osd-auto","cycle","mute"])", "", false},
            {"mute 1", R"(["osd-auto","set","mute","yes"])", "", false},
            {"mute 0", R"(["osd-auto","set","mute","no"])", "", false},
            {"osd", R"(["osd-auto","cycle","osd-level"])", "", false},
            {"osd 2", R"(["set","osd-level","2"])", "", false},
            {"frame_drop", R"(["osd-auto","cycle-values","framedrop","vo","decoder+vo","no"])", "",
             false},
            {"frame_drop 0", R"(["osd-auto","set","framedrop","no"])", "", false},
            {"frame_drop 2", R"(["osd-auto","set","framedrop","decoder+vo"])", "", false},
            {"frame_drop 3", "", "", false},
            {"quit", R"(["quit",0])", "", false},
            {"quit 3", R"(["quit",3])", "", false},
            {"stop", R"(["stop"])", "", false},
            {"get_property pause", R"(["get_property","pause"])", "pause yesno", false},
            {"get_property length", R"(["get_property","duration"])", "length number", false},
            {"get_property fps", R"(["get_property","container-fps"])", "fps number", false},
            {"get_property nosuch", "", "", false},
            {"set_property volume 50", R"(["set","volume","50"])", "", false},
            {"set_property time_pos 10", R"(["set","time-pos","10"])", "", true},
            {"set_property percent_pos 10", R"(["set","percent-pos","10"])", "", true},
            {"set_property volume", "", "", false},
            {"get_time_pos", R"(["get_property","time-pos"])", "TIME_POSITION position", false},
            {"get_time_length", R"(["get_property","duration"])", "LENGTH position", false},
            {"get_percent_pos", R"(["get_property","percent-pos"])", "PERCENT_POSITION number",
             false},
            {"dvdnav up", "", "", false},
        };
        for (const auto& r : rows)
            QTest::newRow(r.slave) << r.slave << r.request << r.answer << r.needsFile;
    }
    void commands()
    {
        QFETCH(QString, slave);
        QFETCH(QString, request);
        QFETCH(QString, answer);
        QFETCH(bool, needsFile);
        const MpvCommand c = mpvCommand(slave.toStdString());
        QCOMPARE(QString::fromStdString(c.command.is_null() ? "" : c.command.dump()), request);
        QCOMPARE(
            QString::fromStdString(c.answerName.empty() ? "" : c.answerName + " " + c.answerFormat),
            answer);
        QCOMPARE(c.needsFile, needsFile);
    }

    void droppedLineIsOneLine()
    {
        QCOMPARE(droppedLine(translateOptions({"-fs"})), std::string());
        const std::string line = droppedLine(translateOptions({"-aid", "1\n2", "-nolirc", "-x"}));
        QVERIFY(line.find("-aid 1?2 -x\n") != std::string::npos);
        QCOMPARE(std::count(line.begin(), line.end(), '\n'), 1);
    }

    // mpv ends with status 1 on any option it does not take, and makes its filters only once a
    // file plays: each row plays the clip, and must leave no error in mpv's log.
    void mpvTakesEveryTranslation_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::newRow("values")
            << w("-osdlevel 3 -volume 50 -ss 0.1 -endpos 0:01 -loop 0 -aspect 16:9 -monitoraspect "
                 "4:3 -speed 1.5 -cache 8192 -framedrop -fps 25 -sid 0 -alang eng,ger -slang en "
                 "-channels 2 -delay -0.1 -frames 3 -softvol-max 200 -srate 44100 -subcp cp1250 "
                 "-noautosub -panscan 0.5 -brightness 10 -contrast -10 -saturation 5 -hue 5 "
                 "-gamma 5 -autosync 30 -mc 2.5 -sub") +
                   QStringList{kOddName};
        QTest::newRow("forms without values")
            << w("-loop 3 -noaspect -nocache -hardframedrop -nosub -nosound");
        QTest::newRow("audio filters")
            << w("-af volume=-3,scaletempo=scale=1.2:stride=30:overlap=0.5:search=10:speed=tempo,"
                 "extrastereo=2,resample=48000,lavcresample=44100");
        QTest::newRow("video filters")
            << w("-vf scale=80:60,crop=60:40:2:2,expand=100:80,expand=120:100:4:-1,yadif=1:-1,"
                 "pp=hb/vb/dr/al,eq=10:-10,flip,mirror,rotate=1");
        QTest::newRow("outputs") << w(
            "-vo x11,xv,gl,gl_nosw,sdl,null -ao alsa,pulse,jack,sdl,null");
    }

    void mpvTakesEveryTranslation()
    {
        QFETCH(QStringList, words);
        const MpvOptions out = translateOptions(toStd(words));
        QCOMPARE(toQt(out.dropped), QStringList());

        // The drivers are looked up only when opened: the names must be in mpv's own lists.
        int status = 0;
        for (const QString& option : toQt(out.options)) {
            if (!option.startsWith("--vo=") && !option.startsWith("--ao="))
                continue;
            const QString list = runMpv({option.left(5) + "help"}, dir.path(), &status);
            for (const QString& driver : option.mid(5).split(','))
                QVERIFY2(list.contains("  " + driver + " "), qPrintable(driver));
        }
        // The clip's own outputs after the user's, which mpv then reads but does not open.
        const QByteArray log =
            runMpv(toQt(out.options) + QStringList{"--vo=null", "--ao=null", "--frames=2",
                                                   "--msg-level=all=error", "clip.mkv"},
                   dir.path(), &status);
        QVERIFY2(status == 0 && log.isEmpty(), log.constData());
    }
};

QTEST_APPLESS_MAIN(MpvOptionsTest)
#include "tst_mpvOptions.moc"
