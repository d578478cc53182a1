// The user's MPlayer options and the window's commands in mpv's words, and Debian's mpv taking
// every option.
#include "mpvArguments.h"
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

    // One row for each option the translation knows, each filter and each output driver, with
    // the edges of every range: a row of the tables lost or a bound moved fails its row here.
    void translation_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QString>("videoOutput");
        // options and dropped split at blanks; dropped items at "|", each "option value".
        const auto row = [](const char* name, const char* words, const char* options,
                            const char* dropped = "", const char* videoOutput = "") {
            QTest::newRow(name) << w(words) << w(options)
                                << QString(dropped).split('|', Qt::SkipEmptyParts)
                                << QString(videoOutput);
        };

        // Output drivers, without MPlayer's suboptions; those mpv lacks are named.
        row("-ao", "-ao alsa:device=hw=0.0,pulse,jack,sdl,null", "--ao=alsa,pulse,jack,sdl,null");
        row("-ao without a driver mpv has", "-ao oss", "", "-ao oss");
        // The sound written to a file: MPlayer's suboptions, ':' inside a "%N%" name, "\,".
        row("-ao pcm", "-ao pcm:file=/t/a.wav", "--ao=pcm --ao-pcm-file=/t/a.wav");
        row("-ao pcm suboptions", "-ao alsa,pcm:nowaveheader:fast:file=%6%a:b.pc:waveheader",
            "--ao=alsa,pcm --ao-pcm-waveheader=no --ao-pcm-file=a:b.pc --ao-pcm-waveheader=yes",
            "-ao pcm:fast");
        row("-ao pcm, a comma in its name", "-ao pcm:file=a\\,b.wav,null",
            "--ao=pcm,null --ao-pcm-file=a,b.wav");
        row("-ao pcm, suboptions not well made",
            "-ao pcm:file=%9%a.wav:file=%1%ab:file=:file:waveheader=1:x", "--ao=pcm",
            "-ao pcm:file=%9%a.wav|-ao pcm:file=%1%ab|-ao pcm:file=|-ao pcm:file|"
            "-ao pcm:waveheader=1|-ao pcm:x");
        row("-vo", "-vo x11,xv:port=1,gl:yuv=2,gl_nosw,sdl,null", "--vo=x11,xv,gpu,gpu,sdl,null",
            "", "x11,xv,gpu,gpu,sdl,null");
        row("-vo partly", "-vo directfb,xv,", "--vo=xv", "-vo directfb", "xv");
        // What mpv does already, and the caller's own: left out without a word.
        for (const char* quiet :
             {"-fs", "-zoom", "-softvol", "-quiet", "-really-quiet", "-noconsolecontrols",
              "-nolirc", "-nojoystick", "-slave", "-input file=/p", "-nortc", "-idle", "-wid 12",
              "-nomouseinput", "-menu", "-menu-cfg m.conf", "-menu-startup bg.avi"})
            row(quiet, quiet, "");
        // Options without values.
        row("-nosound", "-nosound", "--no-audio");
        row("-noaspect", "-noaspect", "--video-aspect-override=no");
        row("-nocache", "-nocache", "--cache=no");
        row("-framedrop", "-framedrop", "--framedrop=vo");
        row("-hardframedrop", "-hardframedrop", "--framedrop=decoder+vo");
        row("-noautosub", "-noautosub", "--sub-auto=no");
        row("-nosub", "-nosub", "--no-sub");
        row("-aid", "-aid 1", "", "-aid 1");
        // Values: each range's ends taken, a step past them left out.
        row("-osdlevel", "-osdlevel 0 -osdlevel 3 -osdlevel 4 -osdlevel -1",
            "--osd-level=0 --osd-level=3", "-osdlevel 4|-osdlevel -1");
        row("-volume", "-volume 0 -volume 50.5 -volume 1000 -volume 1000.5 -volume abc",
            "--volume=0 --volume=50.5 --volume=1000", "-volume 1000.5|-volume abc");
        row("-ss", "-ss 5 -ss 1:05.5 -ss 1:02:03 -ss 1:75 -ss 1:2:3:4",
            "--start=5 --start=1:05.5 --start=1:02:03", "-ss 1:75|-ss 1:2:3:4");
        row("-loop", "-loop 0 -loop 1 -loop 3 -loop 10001 -loop 10002 -loop -1",
            "--loop-file=inf --loop-file=no --loop-file=2 --loop-file=10000",
            "-loop 10002|-loop -1");
        row("-aspect", "-aspect 16:9 -aspect 1.78 -aspect 10 -aspect 10.5 -aspect 11:1 -aspect 0:0",
            "--video-aspect-override=16:9 --video-aspect-override=1.78 "
            "--video-aspect-override=10",
            "-aspect 10.5|-aspect 11:1|-aspect 0:0");
        row("-monitoraspect", "-monitoraspect 4:3 -monitoraspect 9 -monitoraspect 10:1",
            "--monitoraspect=4:3 --monitoraspect=9", "-monitoraspect 10:1");
        row("-speed", "-speed 0.01 -speed 100 -speed 0 -speed 100.5 -speed 1e2",
            "--speed=0.01 --speed=100", "-speed 0|-speed 100.5|-speed 1e2");
        row("-cache", "-cache 32 -cache 1048576 -cache 31 -cache 1048577",
            "--cache=yes --demuxer-max-bytes=32KiB --cache=yes --demuxer-max-bytes=1048576KiB",
            "-cache 31|-cache 1048577");
        row("-fps", "-fps 1 -fps 1000 -fps 0.5 -fps 1000.5",
            "--no-correct-pts --fps=1 --no-correct-pts --fps=1000", "-fps 0.5|-fps 1000.5");
        row("-sid", "-sid 0 -sid 8189 -sid 8190 -sid -1", "--sid=1 --sid=8190",
            "-sid 8190|-sid -1");
        row("-alang", "-alang eng,ger -alang en;x", "--alang=eng,ger", "-alang en;x");
        row("-slang", "-slang pt-BR -slang a.b", "--slang=pt-BR", "-slang a.b");
        row("-channels", "-channels 1 -channels 8 -channels 0 -channels 9",
            "--audio-channels=1 --audio-channels=8", "-channels 0|-channels 9");
        row("-delay", "-delay -86400 -delay -0.25 -delay 86400 -delay 86401 -delay -86401",
            "--audio-delay=-86400 --audio-delay=-0.25 --audio-delay=86400",
            "-delay 86401|-delay -86401");
        row("-endpos", "-endpos 0:01 -endpos 90 -endpos 1:60", "--length=0:01 --length=90",
            "-endpos 1:60");
        row("-frames", "-frames 0 -frames 2147483647 -frames 2147483648",
            "--frames=0 --frames=2147483647", "-frames 2147483648");
        row("-softvol-max", "-softvol-max 100 -softvol-max 1000 -softvol-max 99 -softvol-max 1001",
            "--volume-max=100 --volume-max=1000", "-softvol-max 99|-softvol-max 1001");
        row("-srate", "-srate 8000 -srate 768000 -srate 7999 -srate 768001",
            "--audio-samplerate=8000 --audio-samplerate=768000", "-srate 7999|-srate 768001");
        row("-subcp", "-subcp cp1250 -subcp UTF-8 -subcp -x -subcp a/b",
            "--sub-codepage=cp1250 --sub-codepage=UTF-8", "-subcp -x|-subcp a/b");
        row("-panscan", "-panscan 0 -panscan 1 -panscan 1.5", "--panscan=0 --panscan=1",
            "-panscan 1.5");
        // The picture's levels, "010" not read as octal.
        for (const char* level : {"brightness", "contrast", "saturation", "hue", "gamma"}) {
            const QByteArray o = QByteArray("-") + level, m = QByteArray("--") + level + "=";
            row(o.constData(),
                (o + " -100 " + o + " 100 " + o + " 010 " + o + " 101 " + o + " -101").constData(),
                (m + "-100 " + m + "100 " + m + "10").constData(),
                (o + " 101|" + o + " -101").constData());
        }
        row("-autosync", "-autosync 0 -autosync 10000 -autosync 10001",
            "--autosync=0 --autosync=10000", "-autosync 10001");
        row("-mc", "-mc 0 -mc 100 -mc 100.5", "--mc=0 --mc=100", "-mc 100.5");

        // Audio filters: lavfi's or mpv's names, MPlayer's decibels as such.
        row("-af volume", "-af volume=-3,volume=60,volume=-200,volume,volume=61",
            "--af=volume=-3dB,volume=60dB,volume=-200dB,volume", "-af volume=61");
        row("-af scaletempo",
            "-af scaletempo=scale=1.2:stride=30:overlap=0.5:search=10:speed=tempo,scaletempo,"
            "scaletempo=speed=fast",
            "--af=scaletempo=scale=1.2:stride=30:overlap=0.5:search=10:speed=tempo,scaletempo",
            "-af scaletempo=speed=fast");
        row("-af extrastereo", "-af extrastereo=2,extrastereo,extrastereo=11",
            "--af=extrastereo=2,extrastereo", "-af extrastereo=11");
        row("-af resample", "-af resample=48000,resample=192001,resample", "--af=aresample=48000",
            "-af resample=192001|-af resample");
        row("-af lavcresample", "-af lavcresample=8000,lavcresample=7999", "--af=aresample=8000",
            "-af lavcresample=7999");
        row("-af without a form", "-af volnorm,channels=2", "", "-af volnorm|-af channels=2");
        // Video filters, renamed and reshaped.
        row("-vf scale", "-vf scale=80:60,scale,scale=0:60", "--vf=scale=80:60,scale",
            "-vf scale=0:60");
        row("-vf crop", "-vf crop=60:40:2:2,crop=60:40,crop=60", "--vf=crop=60:40:2:2,crop=60:40",
            "-vf crop=60");
        row("-vf expand", "-vf expand=100:80,expand=120:100:4:-1,expand=100",
            "--vf=pad=100:80:(ow-iw)/2:(oh-ih)/2,pad=120:100:4:(oh-ih)/2", "-vf expand=100");
        row("-vf yadif", "-vf yadif=1:-1,yadif,yadif=4", "--vf=yadif=1:-1,yadif", "-vf yadif=4");
        row("-vf pp", "-vf pp=de/-al,pp,pp=x1", "--vf=pp=de/-al,pp", "-vf pp=x1");
        row("-vf eq", "-vf eq=10:-10,eq=5:5,eq=-5,eq=100:100,eq,eq=101",
            "--vf=eq=brightness=0.10:contrast=0.90,eq=brightness=0.05:contrast=1.05,"
            "eq=brightness=-0.05:contrast=1.00,eq=brightness=1.00:contrast=2.00,eq",
            "-vf eq=101");
        row("-vf flip", "-vf flip,flip=1", "--vf=vflip", "-vf flip=1");
        row("-vf mirror", "-vf mirror", "--vf=hflip");
        row("-vf rotate", "-vf rotate=1,rotate=3,rotate,rotate=4",
            "--vf=transpose=1,transpose=3,"
            "transpose=0",
            "-vf rotate=4");
        row("-vf without a form", "-vf foo", "", "-vf foo");

        row("unknown options, stray words, a missing value",
            "-someunknown file.avi -ao null -volume", "--ao=null", "-someunknown|file.avi|-volume");
        QTest::newRow("a file name is one argument, read as a path")
            << QStringList{"-sub", kOddName, "-sub", "/s/a.srt", "-sub", "memory://b", "-sub", "-"}
            << QStringList{QString("--sub-file=./") + kOddName, "--sub-file=/s/a.srt",
                           "--sub-file=./memory://b", "--sub-file=./-"}
            << QStringList() << "";
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

    // Hardware decoding where the device has it, unless TAMBLIN_HWDEC says otherwise; a value
    // that is not a list of mpv's words is not passed on.
    void hardwareDecoding_data()
    {
        QTest::addColumn<QByteArray>("asked"); // null: TAMBLIN_HWDEC unset
        QTest::addColumn<QString>("hwdec");
        QTest::newRow("unset") << QByteArray() << "auto-safe";
        QTest::newRow("empty") << QByteArray("") << "auto-safe";
        QTest::newRow("one") << QByteArray("vaapi") << "vaapi";
        QTest::newRow("a list") << QByteArray("vaapi-copy,nvdec") << "vaapi-copy,nvdec";
        QTest::newRow("off") << QByteArray("no") << "no";
        QTest::newRow("not mpv's words") << QByteArray("vaapi --vo=null") << "auto-safe";
    }
    void hardwareDecoding()
    {
        QFETCH(QByteArray, asked);
        QFETCH(QString, hwdec);
        const MpvArguments a =
            mpvArguments({"-slave", "clip.avi"}, nullptr, asked.isNull() ? nullptr : asked.data());
        QCOMPARE(QString::fromStdString(a.hwdec), hwdec);
        QCOMPARE(toQt(a.options).filter("--hwdec"), QStringList{"--hwdec=" + hwdec});
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
                 "pp=hb/vb/dr/al,eq=10:-10,eq=5:5,eq=-5,flip,mirror,rotate=1");
        QTest::newRow("outputs") << w(
            "-vo x11,xv,gl,gl_nosw,sdl,null -ao alsa,pulse,jack,sdl,null,pcm:file=s.wav");
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
