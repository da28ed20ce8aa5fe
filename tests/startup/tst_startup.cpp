// Start-up without windows: the settings file kivora.ini (accepted and refused files, the option
// over the file, relative paths, environment variables), the command line (--help made from
// the option declarations, what a lone argument or --report alone asks for), and the languages
// (a lab's translation found and used, English where it is silent, the refusals; the English texts
// other tools rely on).
#include "results/ResultData.h"
#include "results/ResultPageLayout.h"
#include "run/Stage.h"
#include "session/Study.h"
#include "startup/CommandLine.h"
#include "startup/Language.h"
#include "startup/Settings.h"
#include "support/Files.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using kivora::Settings;

namespace {

// An environment of two variables, the same on every system.
std::optional<QString> fakeEnvironment(const QString &name) {
    if (name == u"USERPROFILE"_qs)
        return u"C:\\Users\\山田"_qs;
    if (name == u"HOME"_qs)
        return u"/home/yamada"_qs;
    return std::nullopt;
}

// Settings read from text as a file in folder /lab/pc1.
Settings parsed(const QByteArray &text) {
    return kivora::parseSettings(text, QDir::cleanPath(QDir::rootPath() + u"lab/pc1/kivora.ini"_qs),
                                 fakeEnvironment);
}

QString inLab(const QString &path) {
    return QDir::cleanPath(QDir::rootPath() + path);
}

} // namespace

class tst_startup : public QObject {
    Q_OBJECT
private slots:
    void settingsAccepted_data();
    void settingsAccepted();
    void settingsRefused_data();
    void settingsRefused();
    void optionOverFile();
    void missingFiles();
    void searchOrder_data();
    void searchOrder();
    void helpFromDeclarations();
    void commands_data();
    void commands();
    void languages_data();
    void languages();
    void englishTexts_data();
    void englishTexts();
};

// What a file gives: the key's value as the run takes it.
void tst_startup::settingsAccepted_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("relative data folder: from the file's folder")
        << QByteArray("data=data\n") << u"data"_qs << inLab(u"lab/pc1/data"_qs);
    QTest::newRow("parent folder") << QByteArray("plan = ../plans/class.csv\r\n") << u"plan"_qs
                                   << inLab(u"lab/plans/class.csv"_qs);
    QTest::newRow("absolute log") << QByteArray("log=/var/log/kivora.log") << u"log"_qs
                                  << inLab(u"var/log/kivora.log"_qs);
    QTest::newRow("$HOME") << QByteArray("data=$HOME/kivora") << u"data"_qs
                           << inLab(u"home/yamada/kivora"_qs);
    QTest::newRow("${HOME}") << QByteArray("data=${HOME}x") << u"data"_qs << inLab(u"home/yamadax"_qs);
    QTest::newRow("a %NAME% that is no variable stays")
        << QByteArray("data=/share/100%/x") << u"data"_qs << inLab(u"share/100%/x"_qs);
    QTest::newRow("under [General], with comments and a byte order mark")
        << QByteArray("\xEF\xBB\xBF; the lab's settings\n# more\n[General]\nshuffle=true\n") << u"shuffle"_qs
        << u"true"_qs;
    QTest::newRow("shuffle no") << QByteArray("shuffle=No") << u"shuffle"_qs << u"false"_qs;
    QTest::newRow("shuffle 1") << QByteArray("shuffle=1") << u"shuffle"_qs << u"true"_qs;
    QTest::newRow("timing timers") << QByteArray("timing=timers") << u"timing"_qs << u"timers"_qs;
    QTest::newRow("fullscreen yes") << QByteArray("fullscreen=yes") << u"fullscreen"_qs << u"true"_qs;
    QTest::newRow("practice plan beside the file")
        << QByteArray("practice=practice.csv") << u"practice"_qs << inLab(u"lab/pc1/practice.csv"_qs);
    QTest::newRow("practice criterion")
        << QByteArray("practice_criterion=75") << u"practice_criterion"_qs << u"75"_qs;
    QTest::newRow("a break every 36 trials") << QByteArray("break_every=36") << u"break_every"_qs << u"36"_qs;
    QTest::newRow("participant codes offered") << QByteArray("subject=auto") << u"subject"_qs << u"auto"_qs;
    QTest::newRow("a trigger port is a name, not a path")
        << QByteArray("trigger=COM3") << u"trigger"_qs << u"COM3"_qs;
    QTest::newRow("trigger rate") << QByteArray("trigger_baud=9600") << u"trigger_baud"_qs << u"9600"_qs;
    QTest::newRow("trigger codes that stand")
        << QByteArray("trigger_pulse_ms=0") << u"trigger_pulse_ms"_qs << u"0"_qs;
    QTest::newRow("screen by its model, blanks kept")
        << QByteArray("screen = Dell Inc. U2412M") << u"screen"_qs << u"Dell Inc. U2412M"_qs;
    QTest::newRow("quotes keep a ';'")
        << QByteArray("data=\"/lab/a;b\"") << u"data"_qs << inLab(u"lab/a;b"_qs);
    QTest::newRow("a lab's language") << QByteArray("language=pt_BR") << u"language"_qs << u"pt_BR"_qs;
    QTest::newRow("Japanese folder") << QByteArray("data=/データ/二組") << u"data"_qs
                                     << inLab(u"データ/二組"_qs);
#ifdef Q_OS_WIN
    // Backslashes stand as written (an INI reader that takes them for escapes would lose them).
    QTest::newRow("%USERPROFILE% and backslashes")
        << QByteArray("data=%USERPROFILE%\\Documents\\Kivora\\data") << u"data"_qs
        << u"C:/Users/山田/Documents/Kivora/data"_qs;
    QTest::newRow("network share") << QByteArray("data=\\\\server\\share\\kivora") << u"data"_qs
                                   << u"//server/share/kivora"_qs;
#else
    QTest::newRow("backslashes stand as written")
        << QByteArray("data=/lab/a\\b\\nc") << u"data"_qs << inLab(u"lab/a\\b\\nc"_qs);
#endif
}

void tst_startup::settingsAccepted() {
    QFETCH(QByteArray, text);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const Settings s = parsed(text);
    const kivora::RunOptions &o = s.options;
    const auto truth = [](std::optional<bool> b) { return b ? (*b ? u"true"_qs : u"false"_qs) : QString(); };
    const QString got = key == u"plan"_qs                 ? o.plan
                        : key == u"data"_qs               ? o.data
                        : key == u"log"_qs                ? o.log
                        : key == u"screen"_qs             ? o.screen
                        : key == u"language"_qs           ? o.language
                        : key == u"fullscreen"_qs         ? truth(o.fullscreen)
                        : key == u"practice"_qs           ? o.practice
                        : key == u"practice_criterion"_qs ? QString::number(o.practiceCriterion.value_or(-1))
                        : key == u"break_every"_qs        ? QString::number(o.breakEvery.value_or(-1))
                        : key == u"trigger"_qs            ? o.trigger
                        : key == u"trigger_baud"_qs       ? QString::number(o.triggerBaud.value_or(-1))
                        : key == u"trigger_pulse_ms"_qs   ? QString::number(o.triggerPulseMs.value_or(-1))
                        : key == u"subject"_qs
                            ? kivora::subjectModeWords().value(o.subject ? int(*o.subject) : -1)
                        : key == u"timing"_qs ? kivora::timingWords().value(o.timing ? int(*o.timing) : -1)
                                              : truth(o.shuffle);
    QCOMPARE(got, value);
    QVERIFY(s.where(key).contains(u"kivora.ini:"_qs));
}

// A file that cannot be used stops start-up: the message names the line and says what is wrong
// or what is allowed.
void tst_startup::settingsRefused_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("says");
    QTest::newRow("unknown key") << QByteArray("data=d\nshufle=true\n") << 2 << u"unknown key 'shufle'"_qs;
    QTest::newRow("shuffle value") << QByteArray("shuffle=maybe") << 1 << u"true or false"_qs;
    QTest::newRow("timing value") << QByteArray("timing=fast") << 1 << u"present, timers or flip"_qs;
    QTest::newRow("fullscreen value") << QByteArray("fullscreen=on") << 1 << u"true or false"_qs;
    QTest::newRow("criterion above 100")
        << QByteArray("practice_criterion=101") << 1 << u"a whole number 0 to 100"_qs;
    QTest::newRow("no break after no trial")
        << QByteArray("break_every=0") << 1 << u"a whole number 1 to 143"_qs;
    QTest::newRow("break every 144") << QByteArray("break_every=144") << 1 << u"a whole number 1 to 143"_qs;
    QTest::newRow("subject value") << QByteArray("subject=email") << 1 << u"name, code or auto"_qs;
    QTest::newRow("a pulse over a second") << QByteArray("trigger_pulse_ms=1500") << 1 << u"0 to 1000"_qs;
    QTest::newRow("criterion as a fraction") << QByteArray("practice_criterion=75.5") << 1 << u"0 to 100"_qs;
    QTest::newRow("no value") << QByteArray("\nlog=\n") << 2 << u"no value"_qs;
    QTest::newRow("not key=value") << QByteArray("data\n") << 1 << u"not key=value"_qs;
    QTest::newRow("twice") << QByteArray("data=a\ndata=b\n") << 2 << u"given twice"_qs;
    QTest::newRow("other section") << QByteArray("[kivora]\ndata=a\n") << 1 << u"no other section"_qs;
    QTest::newRow("unset variable") << QByteArray("data=%APPDATA%\\k") << 1 << u"APPDATA is not set"_qs;
    QTest::newRow("Shift-JIS, not UTF-8")
        << QByteArray("data=\x83\x66\x81\x5B\x83\x5E") << 1
        << u"not UTF-8 (it looks like CP932, as older Notepad saves it): save it as UTF-8"_qs;
    QTest::newRow("Windows-1252, not UTF-8") << QByteArray("data=M\xFCller") << 1 << u"not UTF-8 text"_qs;
    QTest::newRow("a ';' in a plain value") << QByteArray("data=a;b") << 1 << u"double quotes"_qs;
    QTest::newRow("quote not closed") << QByteArray("data=\"a") << 1 << u"does not close"_qs;
}

void tst_startup::settingsRefused() {
    QFETCH(QByteArray, text);
    QFETCH(int, line);
    QFETCH(QString, says);
    try {
        parsed(text);
        QFAIL("accepted");
    } catch (const kivora::SettingsError &e) {
        QVERIFY2(e.detail().contains(u"kivora.ini:%1: "_qs.arg(line)), qPrintable(e.detail()));
        QVERIFY2(e.detail().contains(says), qPrintable(e.detail()));
    }
}

// Each option given on the command line wins over the file's; the others come from the file.
void tst_startup::optionOverFile() {
    const Settings file = parsed("plan=p.csv\ndata=d\nlog=l.log\ntiming=timers\nshuffle=false\n");
    kivora::RunOptions line;
    line.data = u"/elsewhere/data"_qs;
    line.shuffle = true;
    const kivora::RunOptions run = kivora::withSettings(line, file);
    QCOMPARE(run.data, line.data);
    QCOMPARE(run.shuffle, std::optional<bool>(true));
    QCOMPARE(run.plan, file.options.plan);
    QCOMPARE(run.log, file.options.log);
    QCOMPARE(run.timing, std::optional(kivora::Timing::Timers));
}

// The program's own kivora.ini may be missing; a file named by --settings may not.
void tst_startup::missingFiles() {
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"kivora.ini"_qs);
    QVERIFY(kivora::readSettings(missing, true).file.isEmpty());
    QVERIFY_THROWS_EXCEPTION(kivora::SettingsError, kivora::readSettings(missing, false));
    QVERIFY(files::writeFile(missing, "data=x\n"));
    QCOMPARE(kivora::readSettings(missing, true).options.data, dir.filePath(u"x"_qs));
}

// Where start-up finds the settings file and the plan: the program's folder, then (in the
// installed layout) the user's configuration folder, then the system's and the bundled plans'
// folder; the first place that has the file wins.
void tst_startup::searchOrder_data() {
    QTest::addColumn<QStringList>("present"); // files there: "<place>/<name>"
    QTest::addColumn<QString>("settings");    // the place whose kivora.ini is read; empty: none
    QTest::addColumn<QString>("plan");        // the place whose sequence.csv a session reads
    QTest::newRow("nothing anywhere: the program's folder's plan, no settings")
        << QStringList{} << QString() << u"program"_qs;
    QTest::newRow("settings beside the program first; a plan there only where no other place has one")
        << QStringList{u"program/kivora.ini"_qs, u"program/sequence.csv"_qs, u"user/kivora.ini"_qs,
                       u"plans/sequence.csv"_qs}
        << u"program"_qs << u"plans"_qs;
    QTest::newRow("installed: the user's before the system's")
        << QStringList{u"user/kivora.ini"_qs, u"system/kivora.ini"_qs, u"user/sequence.csv"_qs,
                       u"plans/sequence.csv"_qs}
        << u"user"_qs << u"user"_qs;
    QTest::newRow("installed: the system's settings and the bundled plan")
        << QStringList{u"system/kivora.ini"_qs, u"plans/sequence.csv"_qs} << u"system"_qs << u"plans"_qs;
}

void tst_startup::searchOrder() {
    QFETCH(QStringList, present);
    QFETCH(QString, settings);
    QFETCH(QString, plan);
    QTemporaryDir dir;
    const kivora::StartupPlaces places{dir.filePath(u"program"_qs), dir.filePath(u"user"_qs),
                                       dir.filePath(u"system"_qs), dir.filePath(u"plans"_qs)};
    for (const QString &file : present) {
        QVERIFY(QDir(dir.path()).mkpath(file.section(u'/', 0, 0)));
        // Each settings file names its place in the data folder it gives.
        QVERIFY(
            files::writeFile(dir.filePath(file), "data=" + file.section(u'/', 0, 0).toUtf8() + "-data\n"));
    }
    const Settings s = kivora::readStartupSettings(QString(), places);
    QCOMPARE(s.file, settings.isEmpty() ? QString() : dir.filePath(settings + u"/kivora.ini"_qs));
    QCOMPARE(kivora::defaultPlan(places), dir.filePath(plan + u"/sequence.csv"_qs));
}

// --help lists every declared option with its value and its description, and every key of the
// settings file.
void tst_startup::helpFromDeclarations() {
    const QString help = kivora::helpText(u"CLOCK"_qs);
    for (const kivora::OptionDecl &d : kivora::optionDecls()) {
        const QString name = d.name.isEmpty() ? d.valueName : u"--"_qs + d.name;
        QVERIFY2(help.contains(name), qPrintable(name));
        const QString firstWords = d.help.section(u' ', 0, 2);
        QVERIFY2(help.simplified().contains(firstWords), qPrintable(firstWords));
    }
    for (const QString &key : kivora::settingsKeys())
        QVERIFY2(help.contains(key), qPrintable(key));
    QVERIFY(help.contains(u"CLOCK microseconds"_qs));
}

// What the command line asks for; -1 for a refusal.
void tst_startup::commands_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("folder"); // ReportFolder for a report or a class view
    using kivora::Command;
    using kivora::ReportFolder;
    QTest::newRow("nothing: a session") << QStringList{} << int(Command::Session) << 0;
    QTest::newRow("a folder alone: its report")
        << QStringList{u"data"_qs} << int(Command::Report) << int(ReportFolder::Dropped);
    QTest::newRow("a file alone: a report, which refuses it")
        << QStringList{u"data/run.csv"_qs} << int(Command::Report) << int(ReportFolder::Dropped);
    QTest::newRow("--report alone: the dialog")
        << QStringList{u"--report"_qs} << int(Command::Report) << int(ReportFolder::Asked);
    QTest::newRow("--report before another option")
        << QStringList{u"--report"_qs, u"--no-open"_qs} << int(Command::Report) << int(ReportFolder::Asked);
    QTest::newRow("--report DIR") << QStringList{u"--report"_qs, u"data"_qs} << int(Command::Report)
                                  << int(ReportFolder::Given);
    QTest::newRow("--class-view alone: the dialog")
        << QStringList{u"--class-view"_qs} << int(Command::ClassView) << int(ReportFolder::Asked);
    QTest::newRow("--class-view DIR with the report's RT limits")
        << QStringList{u"--class-view"_qs, u"data"_qs, u"--min-rt"_qs, u"200"_qs} << int(Command::ClassView)
        << int(ReportFolder::Given);
    QTest::newRow("--class-view and --report")
        << QStringList{u"--class-view"_qs, u"--report"_qs, u"data"_qs} << -1 << 0;
    QTest::newRow("--out for --class-view")
        << QStringList{u"--class-view"_qs, u"data"_qs, u"--out"_qs, u"o"_qs} << -1 << 0;
    QTest::newRow("--timing flip") << QStringList{u"--timing"_qs, u"flip"_qs} << int(Command::Session) << 0;
    QTest::newRow("--check-display") << QStringList{u"--check-display"_qs} << int(Command::CheckDisplay) << 0;
    QTest::newRow("--list-screens") << QStringList{u"--list-screens"_qs} << int(Command::ListScreens) << 0;
    QTest::newRow("--list-languages")
        << QStringList{u"--list-languages"_qs} << int(Command::ListLanguages) << 0;
    QTest::newRow("--report DIR in the settings' language")
        << QStringList{u"--report"_qs, u"data"_qs, u"--settings"_qs, u"k.ini"_qs} << int(Command::Report)
        << int(ReportFolder::Given);
    QTest::newRow("a fullscreen session on a monitor")
        << QStringList{u"--fullscreen"_qs, u"--screen"_qs, u"HDMI-1"_qs} << int(Command::Session) << 0;
    QTest::newRow("--screen without a monitor") << QStringList{u"--screen"_qs} << -1 << 0;
    QTest::newRow("a study: practice, criterion, breaks")
        << QStringList{u"--practice"_qs, u"p.csv"_qs,         u"--practice-criterion"_qs,
                       u"75"_qs,         u"--break-every"_qs, u"6"_qs}
        << int(Command::Session) << 0;
    QTest::newRow("--subject code") << QStringList{u"--subject"_qs, u"code"_qs} << int(Command::Session) << 0;
    QTest::newRow("--subject anonymous") << QStringList{u"--subject"_qs, u"anonymous"_qs} << -1 << 0;
    QTest::newRow("--practice-criterion 101")
        << QStringList{u"--practice-criterion"_qs, u"101"_qs} << -1 << 0;
    QTest::newRow("--break-every -1") << QStringList{u"--break-every"_qs, u"-1"_qs} << -1 << 0;
    QTest::newRow("--timing fast") << QStringList{u"--timing"_qs, u"fast"_qs} << -1 << 0;
    QTest::newRow("a name that is nowhere") << QStringList{u"nowhere"_qs} << -1 << 0;
    QTest::newRow("two folders") << QStringList{u"data"_qs, u"data"_qs} << -1 << 0;
    QTest::newRow("--no-open without a report") << QStringList{u"--no-open"_qs} << -1 << 0;
    QTest::newRow("--settings for --make-plan")
        << QStringList{u"--make-plan"_qs, u"p.csv"_qs, u"--settings"_qs, u"k.ini"_qs} << -1 << 0;
}

void tst_startup::commands() {
    QFETCH(QStringList, args);
    QFETCH(int, command);
    QFETCH(int, folder);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(u"data"_qs));
    QVERIFY(files::writeFile(dir.filePath(u"data/run.csv"_qs), "x"));
    const kivora::ParsedCommandLine p =
        kivora::parseCommandLine(QStringList{u"kivora"_qs} + args, dir.path());
    if (command < 0) {
        QVERIFY2(p.error.startsWith(u"kivora: "_qs) && p.error.endsWith(u"Try 'kivora --help'."_qs),
                 qPrintable(p.error));
        return;
    }
    QVERIFY2(p.error.isEmpty(), qPrintable(p.error));
    QCOMPARE(int(p.request.command), command);
    if (p.request.command == kivora::Command::Report || p.request.command == kivora::Command::ClassView) {
        QCOMPARE(int(p.request.reportFolder), folder);
        if (p.request.reportFolder != kivora::ReportFolder::Asked)
            QVERIFY(p.request.reportDir.startsWith(dir.path())); // a relative folder from the start folder
    }
}

// The languages a translations folder gives, and what asking for one does: a lab's file is listed
// and used, with the built-in English where it leaves a text untranslated (for ja and en too, its
// wording over the program's own); an unknown code and a file Qt cannot load are refused, saying
// what was found or which file, and the texts stay as they were.
void tst_startup::languages_data() {
    QTest::addColumn<QStringList>("files"); // kivora_<code>.qm in the folder: a lab's German, a lab's
                                            // English, "broken": a German cut in half
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("says");  // the list of languages, or a part of the refusal
    QTest::addColumn<QString>("start"); // the Start button, translated by the lab's file where it has it
    QTest::addColumn<QString>("stop");  // the Stop button, which no lab's file translates
    QTest::newRow("Japanese, no lab's file")
        << QStringList() << u"ja"_qs << u"ja 日本語\nen English\n"_qs << u"開始"_qs << u"中止"_qs;
    QTest::newRow("English, built in")
        << QStringList() << u"en"_qs << u"ja 日本語\nen English\n"_qs << u"Start"_qs << u"Stop"_qs;
    QTest::newRow("a lab's German, English where it is silent")
        << QStringList{u"de"_qs} << u"de"_qs << u"ja 日本語\nen English\nde Deutsch\n"_qs << u"Starten"_qs
        << u"Stop"_qs;
    QTest::newRow("a lab's wording of English over the built-in")
        << QStringList{u"en"_qs} << u"en"_qs << u"ja 日本語\nen English\n"_qs << u"Begin"_qs << u"Stop"_qs;
    QTest::newRow("unknown code") << QStringList{u"de"_qs} << u"fr"_qs
                                  << u"the languages found: ja, en, de"_qs << u"開始"_qs << u"中止"_qs;
    QTest::newRow("a truncated file")
        << QStringList{u"broken"_qs} << u"de"_qs << u"kivora_de.qm is not"_qs << u"開始"_qs << u"中止"_qs;
}

void tst_startup::languages() {
    QFETCH(QStringList, files);
    QFETCH(QString, code);
    QFETCH(QString, says);
    QFETCH(QString, start);
    QFETCH(QString, stop);
    QTemporaryDir dir;
    const QStringList folders{dir.filePath(u"missing"_qs), dir.filePath(u"translations"_qs)};
    QVERIFY(QDir(dir.path()).mkpath(u"translations"_qs));
    for (const QString &file : files) {
        const QByteArray german = files::readFile(u":/lab/kivora_de.qm"_qs);
        const QByteArray bytes = file == u"de"_qs   ? german
                                 : file == u"en"_qs ? files::readFile(u":/lab/lab_en.qm"_qs)
                                                    : german.left(german.size() / 2);
        QVERIFY(files::writeFile(
            dir.filePath(u"translations/kivora_%1.qm"_qs.arg(file == u"en"_qs ? file : u"de"_qs)), bytes));
    }
    const QList<kivora::Language> found = kivora::findLanguages(folders);
    QString error;
    const bool used = kivora::useLanguage(code, found, folders, &error);
    QCOMPARE(used, error.isEmpty());
    if (used)
        QCOMPARE(kivora::languageList(found), says);
    else
        QVERIFY2(error.contains(says), qPrintable(error));
    QCOMPARE(QCoreApplication::translate("frmMain", "開始"), start);
    QCOMPARE(QCoreApplication::translate("frmMain", "中止"), stop);
    QVERIFY(kivora::useLanguage(u"ja"_qs, found, folders, &error)); // the next row starts from Japanese
}

// The English texts that other tools and files rely on, exactly, as the program's own functions
// make them once English is in use.
void tst_startup::englishTexts_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("english");
    QTest::newRow("countdown, one") << u"countdown 1"_qs << u"1 question left"_qs;
    QTest::newRow("countdown, more") << u"countdown 12"_qs << u"12 questions left"_qs;
    QTest::newRow("the test question") << u"question"_qs << u"Normal (1) or mirrored (2)?"_qs;
    QTest::newRow("the summary's two lines")
        << u"summary"_qs << u"Correct: 40 of 48\r\nMean reaction time: 734 ms"_qs;
    QTest::newRow("the printout's first line") << u"name"_qs << u"Name: Jane Doe"_qs;
    QTest::newRow("the printout's first line, a code") << u"code"_qs << u"Participant code: P123456"_qs;
    QTest::newRow("feedback, right") << u"correct"_qs << u"Correct: 523 ms"_qs;
    QTest::newRow("feedback, wrong") << u"wrong"_qs << u"Wrong: 523 ms"_qs;
    QTest::newRow("the class view's title, as the view puts it together")
        << u"class view"_qs << u"Kivora class view — 3 complete, 1 incomplete, 2 unreadable"_qs;
}

void tst_startup::englishTexts() {
    QFETCH(QString, what);
    QFETCH(QString, english);
    const QStringList folders;
    const QList<kivora::Language> found = kivora::findLanguages(folders);
    QString error;
    QVERIFY2(kivora::useLanguage(u"en"_qs, found, folders, &error), qPrintable(error));
    using kivora::Stage;
    const QString text =
        what == u"countdown 1"_qs    ? Stage(Stage::Countdown).caption(1)
        : what == u"countdown 12"_qs ? Stage(Stage::Countdown).caption(12)
        : what == u"question"_qs     ? Stage(Stage::Test).caption(1)
        : what == u"summary"_qs      ? kivora::summaryText(40, 48, 734.4)
        : what == u"name"_qs         ? kivora::subjectLine(u"Jane Doe"_qs, false)
        : what == u"code"_qs         ? kivora::subjectLine(u"P123456"_qs, true)
        : what == u"class view"_qs
            ? QCoreApplication::translate("kivora::ClassView", "Kivora クラス表示 — 完了 %1、未完了 %2")
                      .arg(3)
                      .arg(1) +
                  QCoreApplication::translate("kivora::ClassView", "、読めないファイル %1").arg(2)
            : kivora::studytext::feedback(what == u"correct"_qs, 523);
    QVERIFY(kivora::useLanguage(u"ja"_qs, found, folders, &error));
    QCOMPARE(text, english);
}

QTEST_GUILESS_MAIN(tst_startup)
#include "tst_startup.moc"
