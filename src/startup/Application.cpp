#include "startup/Application.h"

#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyStamps.h"
#include "base/RuntimeError.h"
#include "base/StageTimer.h"
#include "platform/Console.h"
#include "platform/KeyReader.h"
#include "platform/TriggerDevice.h"
#include "platform/WindowSystem.h"
#include "results/EventLog.h"
#include "results/SessionData.h"
#include "run/PlanReader.h"
#include "session/TriggerSender.h"
#include "startup/ClassCommands.h"
#include "startup/CommandLine.h"
#include "startup/DisplayCheck.h"
#include "startup/Language.h"
#include "stimuli/BmpFile.h"
#include "stimuli/PictureStore.h"
#include "ui/ClassFolderWatch.h"
#include "ui/ClassView.h"
#include "ui/FramePresenter.h"
#include "ui/ProgramIdentity.h"
#include "ui/Screens.h"
#include "ui/frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>

namespace kivora {

namespace {

// Whether a box can be seen and answered: not on the offscreen and minimal platforms, where a
// box would wait for ever.
bool boxesCanBeAnswered() {
    const QString platform = QGuiApplication::platformName();
    return platform != u"offscreen"_qs && platform != u"minimal"_qs;
}

// The error box of a failure that ends the program. Where no box can be answered the message on
// standard error is all there is.
void errorBox(const QString &text) {
    if (boxesCanBeAnswered())
        QMessageBox::critical(nullptr, u"Kivora"_qs, text);
}

// A failure that reaches the event loop ends the program after the standard error box, as
// every handler's failure does. (Letting an exception cross Qt's event loop is undefined.)
class KivoraApplication final : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override {
        // While the error box is up, the stage timers stay still: the handler that failed may
        // have left its timer running, and must not run (and fail) again behind the box.
        if (s_failing && (event->type() == QEvent::SockAct || event->type() == QEvent::WinEventAct) &&
            receiver->parent() && qobject_cast<StageTimer *>(receiver->parent()))
            return true;
        try {
            return QApplication::notify(receiver, event);
        } catch (const RuntimeError &e) {
            fatal(e.text());
        } catch (const DisplayError &e) {
            fatal(e.text());
        } catch (const std::exception &e) {
            fatal(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
    [[noreturn]] static void fatal(const QString &text) {
        printErr(text);
        if (!std::exchange(s_failing, true))
            errorBox(text);
        std::fflush(nullptr);
        std::_Exit(1);
    }

private:
    static inline bool s_failing = false;
};

// For a command that only writes files (pictures, a PDF): no display needed. A Windows desktop
// is always there, and the pictures are drawn there with the system's fonts, as on screen; the
// offscreen platform for Windows would look for fonts in a folder of its own.
void withoutDisplay() {
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
}

// A line the log could not take is said on standard error: it is no reason to stop a session.
template <typename Write> void logQuietly(EventLog *log, Write write) {
    if (!log)
        return;
    try {
        write(*log);
    } catch (const RuntimeError &e) {
        printErr(u"kivora: "_qs + e.detail());
    }
}

// The settings file start-up reads; false, after saying why on standard error and (where a box
// can be answered) in the error box, when it cannot be used.
bool startupSettings(const StartRequest &request, Settings &settings) {
    try {
        settings = readStartupSettings(request.settingsFile);
        return true;
    } catch (const SettingsError &e) {
        printErr(e.detail());
        if (qobject_cast<QApplication *>(QCoreApplication::instance())) // --check has no windows
            errorBox(QCoreApplication::translate("Application", "設定ファイルを読み込めません。\n\n") +
                     e.detail());
        return false;
    }
}

// The texts in the language the command line or the settings file asks for (Japanese where neither
// does); false, after saying why on standard error and, with `box`, in the error box, where that
// language is not found or its file does not load.
bool startupLanguage(const RunOptions &run, bool box) {
    const QStringList folders = translationFolders();
    QString error;
    if (useLanguage(run.language.isEmpty() ? u"ja"_qs : run.language, findLanguages(folders), folders,
                    &error))
        return true;
    printErr(u"kivora: "_qs + error);
    if (box)
        errorBox(QCoreApplication::translate("Application", "言語を選べません。\n\n") + error);
    return false;
}

// The run's options, the command line's over the settings file's, and the texts in the language
// they ask for; nothing, after saying why, where the settings file cannot be used or the language
// cannot be had (in the error box too where box asks for it and one can be answered).
std::optional<RunOptions> startupOptions(const StartRequest &request, Settings &settings, bool box) {
    if (!startupSettings(request, settings))
        return std::nullopt;
    RunOptions run = withSettings(request.run, settings);
    if (!startupLanguage(run, box))
        return std::nullopt;
    return run;
}

// The faces the windows and pages are drawn with; where no Japanese face is found, a warning that
// what names (the texts, the PDF's texts) may show as boxes.
void installFonts(const QString &what) {
    installFontSubstitutes();
    if (!japaneseFaceAvailable())
        printErr(u"kivora: warning: no Japanese font found (%1); %2 may show as boxes"_qs.arg(
            japaneseFontSource(), what));
}

// --check: the plan a session would read, checked and summed up.
int runCheck(int argc, char **argv, const StartRequest &request) {
    QCoreApplication app(argc, argv);
    Settings settings;
    const std::optional<RunOptions> options = startupOptions(request, settings, false);
    if (!options)
        return 1;
    const RunOptions &run = *options;
    const QString planPath = run.plan.isEmpty() ? defaultPlan() : run.plan;
    TrialTable trials;
    try {
        const qint16 count = loadPlanFile(planPath, trials);
        printOut(planSummary(trials, count));
        // The practice plan a session would read, under the plan's summary.
        if (!run.practice.isEmpty()) {
            const qint16 practice = loadPlanFile(run.practice, trials);
            printOut(u"practice plan:\n"_qs + planSummary(trials, practice));
        }
        return 0;
    } catch (const PlanError &e) {
        printErr(e.detail());
        return 1;
    }
}

int runExportStimuli(int argc, char **argv, const StartRequest &request) {
    withoutDisplay();
    QGuiApplication app(argc, argv);
    installFontSubstitutes();
    Settings settings;
    if (!startupOptions(request, settings, false))
        return 1;
    const PictureStore store;
    QString error;
    if (!exportStimuli(store, request.exportDir, &error)) {
        printErr(error);
        return 1;
    }
    return 0;
}

int runMakePlan(int argc, char **argv, const StartRequest &request) {
    QCoreApplication app(argc, argv);
    return makePlanCommand(request.planFile, request.recipe, request.seed);
}

// The end of a report made from the folder dialog or a dropped folder, for someone who has no
// console: report.pdf opened with the system's viewer, and what was read in one box. Where no
// box can be answered, its text goes to standard error and no viewer is started.
void showReport(int status, QStringList lines, const QString &pdf) {
    const bool visible = boxesCanBeAnswered();
    if (status == 0 && visible && !QDesktopServices::openUrl(QUrl::fromLocalFile(pdf)))
        lines << QCoreApplication::translate("Application", "kivora: the system's viewer did not open %1")
                     .arg(QDir::toNativeSeparators(pdf));
    const QString headline = status == 0
                                 ? QCoreApplication::translate("Application", "集計しました。")
                                 : QCoreApplication::translate("Application", "集計できませんでした。");
    if (!visible) {
        printErr(headline + u"\n\n"_qs + lines.join(u'\n'));
        return;
    }
    // A long list of skipped files goes under "Show Details"; the last line (how many runs were
    // read, where the report is) always stays in sight.
    constexpr int InSight = 12;
    QStringList brief = lines;
    if (lines.size() > InSight) {
        brief = lines.first(InSight - 2);
        brief << QCoreApplication::translate("Application", "... (%1 lines more under Show Details)")
                     .arg(lines.size() - InSight + 1)
              << lines.last();
    }
    QMessageBox box(status == 0 ? QMessageBox::Information : QMessageBox::Warning,
                    QCoreApplication::translate("Application", "Kivora 集計"),
                    headline + u"\n\n"_qs + brief.join(u'\n'));
    if (lines.size() > InSight)
        box.setDetailedText(lines.join(u'\n'));
    box.exec();
}

// The data folder a class command reads: the one given or dropped, or where none was, the one
// chosen in the system's folder dialog (titled title), which starts at the settings' data folder
// (else the current one); nothing for Cancel.
std::optional<QString> dataFolder(const StartRequest &request, const Settings &settings,
                                  const QString &title) {
    if (request.reportFolder != ReportFolder::Asked)
        return request.reportDir;
    const QString folder = QFileDialog::getExistingDirectory(
        nullptr, title, settings.options.data.isEmpty() ? QDir::currentPath() : settings.options.data);
    return folder.isEmpty() ? std::nullopt : std::optional(folder);
}

// --report DIR prints what it read; --report alone asks for the folder and, like a folder
// dropped on the program, shows the report (unless --no-open).
int runReport(int argc, char **argv, const StartRequest &request) {
    const bool asked = request.reportFolder == ReportFolder::Asked;
    const bool shown = request.reportFolder != ReportFolder::Given && !request.noOpen;
    const QString noDialog = u"kivora: --report without a folder asks for one in a dialog, and no display "
                             u"is there for it: give the folder, --report DIR\nTry 'kivora --help'."_qs;
    if (asked && !displayReachable()) {
        printErr(noDialog);
        return 2;
    }
    // A report nobody is shown on screen needs no display.
    if (!asked && (!shown || !displayReachable()))
        withoutDisplay();
    QApplication app(argc, argv);
    setProgramIdentity(); // the dialog and the box carry the program's icon
    if (asked && !boxesCanBeAnswered()) {
        printErr(noDialog);
        return 2;
    }
    installFonts(u"the PDF's texts"_qs);
    Settings settings;
    if (!startupOptions(request, settings, shown))
        return 1;
    const std::optional<QString> folder = dataFolder(
        request, settings, QCoreApplication::translate("Application", "集計するデータのフォルダー"));
    if (!folder)
        return 1; // Cancel: nothing read, nothing written, nothing to say
    Transcript say(!shown);
    QString pdf;
    const int status = reportCommand(*folder, request.reportOut, request.limits, say, &pdf);
    if (shown)
        showReport(status, say.lines(), pdf);
    return status;
}

// --class-view: the window that follows a class's data folder as its files arrive. Its "Write
// report" writes what --report DIR writes and shows it as a report made from the dialog is shown.
int runClassView(int argc, char **argv, const StartRequest &request) {
    const bool asked = request.reportFolder == ReportFolder::Asked;
    const QString noDisplay = u"kivora: --class-view shows a window, and no display is there for it\n"
                              u"Try 'kivora --help'."_qs;
    if (!displayReachable()) {
        printErr(noDisplay);
        return 2;
    }
    KivoraApplication app(argc, argv);
    setProgramIdentity();
    if (asked && !boxesCanBeAnswered()) {
        printErr(noDisplay);
        return 2;
    }
    installFonts(u"texts"_qs);
    Settings settings;
    if (!startupOptions(request, settings, true))
        return 1;
    const std::optional<QString> chosen = dataFolder(
        request, settings, QCoreApplication::translate("Application", "クラス表示するデータのフォルダー"));
    if (!chosen)
        return 1;
    const QString folder = *chosen;
    // A folder that is not there (yet) is no refusal: the view says since when it cannot reach it.
    ClassFolderWatch watch(
        std::make_unique<ClassFolder>(folder, request.limits, [] { return QDateTime::currentDateTime(); }),
        1000);
    ClassView view(watch);
    view.setReportWriter([&folder, &request] {
        Transcript say(false);
        QString pdf;
        const int status = reportCommand(folder, QString(), request.limits, say, &pdf);
        showReport(status, say.lines(), pdf);
    });
    view.showMaximized();
    watch.start();
    const int status = app.exec();
    // A rescan held by a network folder that hangs must not hold the program's end.
    if (!watch.stop(2000)) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

// The display the participant's windows are shown on (X11 where the user chose no platform), or
// false after saying that it cannot be reached.
bool participantDisplay() {
    preferX11();
    if (displayReachable())
        return true;
    printErr(u"kivora: 画面（X ディスプレイ）に接続できません。DISPLAY を確かめてください。"_qs);
    return false;
}

// The monitor the participant's windows go on: the one --screen (screen=) names, else the
// primary one; nothing, after saying which there are (on standard error and in the error box),
// where no monitor or more than one has the name.
std::optional<QScreen *> participantScreen(const RunOptions &run) {
    if (run.screen.isEmpty())
        return QGuiApplication::primaryScreen();
    QString why;
    if (QScreen *screen = screenNamed(run.screen, &why))
        return screen;
    const QString text = u"--screen %1: %2\n\n"_qs.arg(run.screen, why) + screenList();
    printErr(u"kivora: "_qs + text);
    errorBox(QCoreApplication::translate("Application", "モニターを選べません。\n\n") + text);
    return std::nullopt;
}

// Where a setting came from, for a message about it: "FILE:LINE: key: " where the settings file
// gave it, nothing where the command line did (onCommandLine: the command line's value).
QString fromSettings(const QString &onCommandLine, const Settings &settings, const QString &key) {
    return onCommandLine.isEmpty() ? settings.where(key) + u": "_qs : QString();
}

// The trigger port a session or the display check sends its codes through (--trigger), opened
// before any participant sits down: one that cannot be opened or set up stops the program with the
// port and the system's reason, as a log that cannot be written does. None where none is asked for.
bool openTriggers(const RunOptions &run, const StartRequest &request, const Settings &settings,
                  TimeSource &time, std::unique_ptr<TriggerSender> &triggers) {
    if (run.trigger.isEmpty())
        return true;
    const QString port = run.trigger;
    const qint32 baud = run.triggerBaud.value_or(DefaultTriggerBaud);
    triggers = std::make_unique<TriggerSender>(
        time, [port, baud](QString *why) { return openTriggerDevice(port, baud, why); },
        run.triggerPulseMs.value_or(TriggerSender::DefaultPulseMs));
    QString why;
    if (triggers->open(&why))
        return true;
    const QString where = fromSettings(request.run.trigger, settings, u"trigger"_qs);
    printErr(u"kivora: "_qs + where + u"trigger port "_qs + why);
    errorBox(
        QCoreApplication::translate("Application", "トリガーのポートを開けません。\n\n%1").arg(where + why));
    return false;
}

// --check-display: the display and the keys a session would use, checked and told.
int runCheckDisplay(int argc, char **argv, const StartRequest &request) {
    if (!participantDisplay())
        return 1;
    KivoraApplication app(argc, argv);
    setProgramIdentity();
    Settings settings;
    const std::optional<RunOptions> options = startupOptions(request, settings, true);
    if (!options)
        return 1;
    const RunOptions &run = *options;
    const std::optional<QScreen *> screen = participantScreen(run);
    if (!screen)
        return 1;
    SystemTimeSource time;
    std::unique_ptr<TriggerSender> triggers;
    if (!openTriggers(run, request, settings, time, triggers))
        return 1;
    return checkDisplayCommand(run.timing, *screen, run.fullscreen.value_or(false), triggers.get());
}

// --list-screens: every monitor, on the console, or in a box where nothing would show it.
int runListScreens(int argc, char **argv) {
    if (!participantDisplay())
        return 1;
    QApplication app(argc, argv);
    setProgramIdentity();
    if (outputSeen() || !boxesCanBeAnswered())
        printOut(screenList());
    else
        QMessageBox::information(nullptr, u"Kivora"_qs, screenList());
    return 0;
}

// --list-languages: every language found, on the console.
int runListLanguages(int argc, char **argv) {
    QCoreApplication app(argc, argv);
    printOut(languageList(findLanguages(translationFolders())));
    return 0;
}

// Recorders are set up before any participant sits down: a folder or log that cannot be written
// stops the program now, not after the first answer. A message about a path from the settings
// file says where in the file it stands.
bool openRecorders(const RunOptions &run, const StartRequest &request, const Settings &settings,
                   std::unique_ptr<SessionData> &data, std::unique_ptr<EventLog> &log) {
    QString where;
    try {
        if (!run.data.isEmpty()) {
            where = fromSettings(request.run.data, settings, u"data"_qs);
            SessionData::checkFolder(run.data);
            data = std::make_unique<SessionData>(run.data);
        }
        if (!run.log.isEmpty()) {
            where = fromSettings(request.run.log, settings, u"log"_qs);
            log = std::make_unique<EventLog>(run.log);
        }
    } catch (const RuntimeError &e) {
        printErr(u"kivora: "_qs + where + e.detail());
        errorBox(where + e.detail());
        return false;
    }
    return true;
}

// A session: the main window on the plan, with the recorders and the presenter asked for.
int runSession(int argc, char **argv, const StartRequest &request) {
    // The letters and arrows take a while to draw and need no fonts: draw them on another
    // thread while Qt connects to the display and loads its fonts.
    auto shapes = std::async(std::launch::async, &PictureStore::drawShapes);
    if (!participantDisplay())
        return 1;
    KivoraApplication app(argc, argv);
    setProgramIdentity();
    QApplication::setApplicationVersion(QString::fromLatin1(KIVORA_VERSION));
    installFonts(u"texts"_qs);

    // Before any window or picture is made: they are made in the language.
    Settings settings;
    const std::optional<RunOptions> options = startupOptions(request, settings, true);
    if (!options)
        return 1;
    const RunOptions &run = *options;
    const QString planPath = run.plan.isEmpty() ? defaultPlan() : run.plan;
    const bool shuffle = run.shuffle.value_or(false);
    std::unique_ptr<SessionData> data;
    std::unique_ptr<EventLog> log;
    if (!openRecorders(run, request, settings, data, log))
        return 1;

    const std::optional<QScreen *> screen = participantScreen(run);
    if (!screen)
        return 1;

    SystemTimeSource time;
    std::unique_ptr<TriggerSender> triggers;
    if (!openTriggers(run, request, settings, time, triggers))
        return 1;
    frmMain main(time, [&shapes] { return shapes.get(); });
    if (data)
        main.addObserver(data.get());
    if (log)
        main.addObserver(log.get());
    main.setTriggers(triggers.get());

    // Pictures in step with the display's refresh where it offers that; an explicit request
    // for it on a display without it stops here, before a participant sits down.
    PresenterChoice frames = choosePresenter(run.timing, main.Image1);
    if (frames.presenter) {
        main.setPresenter(std::move(frames.presenter));
    } else if (frames.refused) {
        printErr(u"kivora: --timing present: "_qs + frames.why);
        errorBox(QCoreApplication::translate(
                     "Application", "画面の書き換えに合わせた表示（--timing present）が使えません。\n\n") +
                 frames.why);
        return 1;
    } else if (!frames.why.isEmpty()) {
        printErr(u"kivora: notice: pictures are shown with timers (%1)"_qs.arg(frames.why));
    }
    // Key presses stamped as they arrive, in either mode, where the display lets a reader see them.
    KeyStamps keyStamps;
    const std::unique_ptr<KeyReader> keyReader = KeyReader::start(keyStamps);
    if (keyReader)
        main.setKeyStamps(&keyStamps);
    main.setPlanFile(planPath);
    Study study;
    if (!run.practice.isEmpty()) {
        try {
            study.practiceCount = loadPlanFile(run.practice, study.practice);
        } catch (const PlanError &e) {
            printErr(e.detail());
            errorBox(QCoreApplication::translate("Application", "練習の試行計画を読み込めません。\n\n") +
                     e.detail());
            return 1;
        }
    }
    study.criterionPercent = run.practiceCriterion.value_or(0);
    study.breakEvery = run.breakEvery.value_or(0);
    main.setStudy(std::move(study));
    const SubjectMode subjects = run.subject.value_or(SubjectMode::Name);
    main.setSubjects(subjects, run.data);
    if (data)
        data->setUniqueSubjects(subjects == SubjectMode::Auto);
    if (shuffle)
        main.shuffleEachRun(freshSeed);
    try {
        main.Form_Load();
    } catch (const PlanError &e) {
        printErr(e.detail());
        errorBox(QCoreApplication::translate("Application", "試行計画を読み込めません。\n\n") + e.detail());
        return 1;
    } catch (const RuntimeError &e) {
        KivoraApplication::fatal(e.text());
    }
    if (log) {
        // The first paint of the main window, once it has reached the window system.
        onFirstPaint(&main, [&log] {
            logQuietly(log.get(), [](EventLog &l) { l.windowShown(SteadyClock::instance().nowUs()); });
        });
    }
    // How the pictures reach the screen, once the presenter knows the display (the refresh
    // period takes half a second to measure after the window is shown).
    const auto displayKnown = [&log, &main, &keyReader] {
        const DisplayInfo info = main.readDisplay();
        // Timers were chosen or fallen back on with a notice of their own.
        if (!info.exact() && info.onset != OnsetSource::Flush)
            printErr(u"kivora: notice: onsets are not exact: "_qs + whyNotExact(info.onset, info.compositor));
        const QString keys = QString::fromLatin1(KeyReader::sourceOf(keyReader.get()));
        logQuietly(log.get(), [&info, &keys](EventLog &l) {
            l.display(SteadyClock::instance().nowUs(), info, keys, QGuiApplication::platformName());
        });
    };
    if (main.presenter().isReady())
        onFirstPaint(&main, displayKnown);
    else
        // Once: a presenter that measures the display again after a move says ready() again, and
        // what changed then is logged as a display change, not as a second start-up line.
        QObject::connect(&main.presenter(), &Presenter::ready, &main, displayKnown, Qt::SingleShotConnection);
    main.showOn(*screen, run.fullscreen.value_or(false));
    return app.exec();
}

} // namespace

int runApplication(int argc, char **argv) {
    attachStartingConsole();
    const ParsedCommandLine parsed = parseCommandLine(commandLineArguments(argc, argv), QDir::currentPath());
    if (!parsed.error.isEmpty()) {
        printErr(parsed.error);
        return 2;
    }
    const StartRequest &request = parsed.request;
    switch (request.command) {
    case Command::Help:
        printOut(helpText(QString::fromLatin1(SteadyClock::systemName())));
        return 0;
    case Command::Version:
        printOut(versionText());
        return 0;
    case Command::MakePlan:
        return runMakePlan(argc, argv, request);
    case Command::Report:
        return runReport(argc, argv, request);
    case Command::ClassView:
        return runClassView(argc, argv, request);
    case Command::Check:
        return runCheck(argc, argv, request);
    case Command::ExportStimuli:
        return runExportStimuli(argc, argv, request);
    case Command::CheckDisplay:
        return runCheckDisplay(argc, argv, request);
    case Command::ListScreens:
        return runListScreens(argc, argv);
    case Command::ListLanguages:
        return runListLanguages(argc, argv);
    case Command::Session:
        break;
    }
    return runSession(argc, argv, request);
}

} // namespace kivora
