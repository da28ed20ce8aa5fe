#include "app/Application.h"

#include "app/ClassCommands.h"
#include "app/Console.h"
#include "app/DisplayCheck.h"
#include "app/FramePresenter.h"
#include "app/KeyReader.h"
#include "app/WindowSystem.h"
#include "app/frmMain.h"
#include "base/Clock.h"
#include "base/Fonts.h"
#include "base/KeyStamps.h"
#include "base/RuntimeError.h"
#include "base/StageTimer.h"
#include "results/EventLog.h"
#include "results/SessionData.h"
#include "run/PlanReader.h"
#include "stimuli/BmpFile.h"
#include "stimuli/PictureStore.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>

namespace kivora {

namespace {

const char *const HelpText = R"(Usage: kivora [options]

Kivora, a mental-rotation reaction-time experiment. Without options it reads the
trial plan sequence.csv from its own folder and opens the main window.

Options:
  --plan FILE           read the trial plan from FILE instead of sequence.csv in
                        the program's folder (a relative FILE is taken from the
                        folder kivora was started in)
  --check               read and check the plan, print a summary and exit
                        (status 0), or print FILE:LINE: message and exit with
                        status 1; needs no display
  --export-stimuli DIR  write the 56 stimulus pictures as DIR/<list>-<position>.bmp
                        and exit; needs no display
  --data DIR            save the session as it happens: a CSV file per run in DIR
                        (<YYYYMMDD-HHMMSS>_<name>.csv, a row per answered trial,
                        synced to disk before the next trial) and, for every
                        completed run, <same stem>_means.csv with the chart's
                        means; DIR is created if missing and must be writable
  --log FILE            append a tab-separated timing log to FILE: t_us (the
                        %1 microseconds reaction times come from),
                        event, trial, detail, one line per screen shown, answer,
                        stop, end of run and results window
  --timing MODE         how the pictures reach the screen: "present" (each in
                        step with the display's refresh, its onset taken from
                        the display; the default where the display offers the X
                        Present extension) or "timers" (painted when its timer
                        fires, its onset read once the repaint reached the X
                        server); on Windows also "flip" (a DXGI swap chain, its
                        onsets from the swap chain's frame statistics)
  --check-display       show about ten seconds of flips, then ask for key 1, and
                        print the refresh period, its jitter, late flips, the
                        onset and key sources; status 0 when the onsets are exact
  --shuffle             every run takes the plan's trials in a fresh random
                        order; its seed goes into the data rows (order_seed)
                        and the log's run_start line
  --help                show this help and exit
  --version             show the version and exit

Running a class (no display needed):
  --make-plan FILE      write a balanced plan to FILE (never overwritten): every
                        figure set x cue direction 0-5 x as it was/mirrored x
                        time x start direction x repeats, in one shuffled
                        order; prints the trial count and the seed
    --figsets LIST      figure sets, default 1,2,3,4
    --times LIST        presentation times in ms, default 400,800,1200
    --start-dirs LIST   start directions 0-5, default 0
    --repeats N         each combination N times, default 1
    --seed N            the order's seed (default: a fresh one)
  --report DIR          read every data file in DIR and write cells.csv,
                        runs.csv, group.csv and report.pdf; exit status 0 when
                        at least one run was read
    --out FOLDER        where the report goes, default DIR/report
    --min-rt MS         shorter correct RTs are left out, default 150
    --max-rt MS         longer correct RTs are left out, default 10000
)";

// The error box of a failure that ends the program. Where nobody can see or answer a box (the
// offscreen and minimal platforms), the message on standard error is all there is: a box there
// would wait for ever.
void errorBox(const QString &text) {
    const QString platform = QGuiApplication::platformName();
    if (platform == u"offscreen"_qs || platform == u"minimal"_qs)
        return;
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

QString resolved(const QString &path, const QString &startDir) {
    return path.isEmpty() ? path : QDir(startDir).absoluteFilePath(path);
}

// "1,2,3" as numbers; false when a part is not a whole number.
bool intList(const QString &text, QList<int> &values) {
    values.clear();
    for (const QString &part : text.split(u',')) {
        bool ok = false;
        values << part.trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    return true;
}

int checkPlan(const QString &planPath) {
    TrialTable trials;
    try {
        const qint16 count = loadPlanFile(planPath, trials);
        printOut(planSummary(trials, count));
        return 0;
    } catch (const PlanError &e) {
        printErr(e.detail());
        return 1;
    }
}

int exportPictures(const QString &dir) {
    installFontSubstitutes();
    const PictureStore store;
    QString error;
    if (!exportStimuli(store, dir, &error)) {
        printErr(error);
        return 1;
    }
    return 0;
}

} // namespace

int runApplication(int argc, char **argv) {
    attachStartingConsole();
    const QStringList args = commandLineArguments(argc, argv);

    QCommandLineParser parser;
    const QCommandLineOption planOpt(u"plan"_qs, QString(), u"FILE"_qs);
    const QCommandLineOption checkOpt(u"check"_qs);
    const QCommandLineOption exportOpt(u"export-stimuli"_qs, QString(), u"DIR"_qs);
    const QCommandLineOption dataOpt(u"data"_qs, QString(), u"DIR"_qs);
    const QCommandLineOption logOpt(u"log"_qs, QString(), u"FILE"_qs);
    const QCommandLineOption timingOpt(u"timing"_qs, QString(), u"MODE"_qs);
    const QCommandLineOption shuffleOpt(u"shuffle"_qs);
    const QCommandLineOption checkDisplayOpt(u"check-display"_qs);
    const QCommandLineOption makePlanOpt(u"make-plan"_qs, QString(), u"FILE"_qs);
    const QCommandLineOption figSetsOpt(u"figsets"_qs, QString(), u"LIST"_qs);
    const QCommandLineOption timesOpt(u"times"_qs, QString(), u"LIST"_qs);
    const QCommandLineOption startDirsOpt(u"start-dirs"_qs, QString(), u"LIST"_qs);
    const QCommandLineOption repeatsOpt(u"repeats"_qs, QString(), u"N"_qs);
    const QCommandLineOption seedOpt(u"seed"_qs, QString(), u"N"_qs);
    const QCommandLineOption reportOpt(u"report"_qs, QString(), u"DIR"_qs);
    const QCommandLineOption outOpt(u"out"_qs, QString(), u"FOLDER"_qs);
    const QCommandLineOption minRtOpt(u"min-rt"_qs, QString(), u"MS"_qs);
    const QCommandLineOption maxRtOpt(u"max-rt"_qs, QString(), u"MS"_qs);
    const QCommandLineOption helpOpt(u"help"_qs);
    const QCommandLineOption versionOpt(u"version"_qs);
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({planOpt,  checkOpt,     checkDisplayOpt, exportOpt,   dataOpt,
                       logOpt,   timingOpt,    shuffleOpt,      makePlanOpt, figSetsOpt,
                       timesOpt, startDirsOpt, repeatsOpt,      seedOpt,     reportOpt,
                       outOpt,   minRtOpt,     maxRtOpt,        helpOpt,     versionOpt});
    const auto usage = [](const QString &text) {
        printErr(u"kivora: "_qs + text + u"\nTry 'kivora --help'."_qs);
        return 2;
    };
    if (!parser.parse(args))
        return usage(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return usage(u"unexpected argument '%1'"_qs.arg(parser.positionalArguments().first()));
    if (parser.isSet(helpOpt)) {
        printOut(QString::fromUtf8(HelpText).arg(QString::fromLatin1(SteadyClock::systemName())));
        return 0;
    }
    if (parser.isSet(versionOpt)) {
        printOut(u"kivora " KIVORA_VERSION "\n"_qs);
        return 0;
    }

    const QString timing = parser.value(timingOpt);
    if (parser.isSet(timingOpt) && timing != u"present"_qs && timing != u"timers"_qs &&
        timing != u"flip"_qs) {
        printErr(u"kivora: --timing takes present, timers or flip, not '%1'"_qs.arg(timing));
        return 2;
    }

    // Relative paths are the user's, from the folder the program was started in; the load step
    // moves to the program's own folder later.
    const QString startDir = QDir::currentPath();
    const QString planPath = resolved(parser.value(planOpt), startDir);

    // An option that belongs to another command is a mistake worth saying.
    for (const QCommandLineOption *o : {&figSetsOpt, &timesOpt, &startDirsOpt, &repeatsOpt, &seedOpt})
        if (parser.isSet(*o) && !parser.isSet(makePlanOpt))
            return usage(u"--%1 is an option of --make-plan"_qs.arg(o->names().first()));
    for (const QCommandLineOption *o : {&outOpt, &minRtOpt, &maxRtOpt})
        if (parser.isSet(*o) && !parser.isSet(reportOpt))
            return usage(u"--%1 is an option of --report"_qs.arg(o->names().first()));

    if (parser.isSet(makePlanOpt)) {
        PlanRecipe recipe;
        const std::pair<const QCommandLineOption *, QList<int> *> lists[] = {
            {&figSetsOpt, &recipe.figSets}, {&timesOpt, &recipe.times}, {&startDirsOpt, &recipe.startDirs}};
        for (const auto &[option, values] : lists)
            if (parser.isSet(*option) && !intList(parser.value(*option), *values))
                return usage(u"--%1 wants whole numbers separated by commas, not '%2'"_qs.arg(
                    option->names().first(), parser.value(*option)));
        bool ok = true;
        if (parser.isSet(repeatsOpt))
            recipe.repeats = parser.value(repeatsOpt).toInt(&ok);
        if (!ok)
            return usage(u"--repeats wants a whole number, not '%1'"_qs.arg(parser.value(repeatsOpt)));
        std::optional<quint64> seed;
        if (parser.isSet(seedOpt))
            seed = parser.value(seedOpt).toULongLong(&ok);
        if (!ok)
            return usage(u"--seed wants a whole number 0 to 18446744073709551615, not '%1'"_qs.arg(
                parser.value(seedOpt)));
        QCoreApplication app(argc, argv);
        return makePlanCommand(resolved(parser.value(makePlanOpt), startDir), recipe, seed);
    }
    if (parser.isSet(reportOpt)) {
        RtLimits limits;
        for (const auto &[option, value] :
             {std::pair{&minRtOpt, &limits.minRt}, std::pair{&maxRtOpt, &limits.maxRt}}) {
            bool ok = true;
            if (parser.isSet(*option))
                *value = parser.value(*option).toInt(&ok);
            if (!ok || *value < 0)
                return usage(u"--%1 wants a whole number of ms, not '%2'"_qs.arg(option->names().first(),
                                                                                 parser.value(*option)));
        }
        if (limits.minRt > limits.maxRt)
            return usage(u"--min-rt %1 is above --max-rt %2"_qs.arg(limits.minRt).arg(limits.maxRt));
        withoutDisplay();
        QApplication app(argc, argv);
        installFontSubstitutes();
        if (!japaneseFaceAvailable())
            printErr(
                u"kivora: warning: no Japanese font found (%1); the PDF's texts may show as boxes"_qs.arg(
                    japaneseFontSource()));
        return reportCommand(resolved(parser.value(reportOpt), startDir),
                             resolved(parser.value(outOpt), startDir), limits);
    }

    if (parser.isSet(checkOpt)) {
        QCoreApplication app(argc, argv);
        return checkPlan(planPath.isEmpty() ? QCoreApplication::applicationDirPath() + u"/sequence.csv"_qs
                                            : planPath);
    }
    if (parser.isSet(exportOpt)) {
        withoutDisplay();
        QGuiApplication app(argc, argv);
        return exportPictures(resolved(parser.value(exportOpt), startDir));
    }

    if (parser.isSet(checkDisplayOpt)) {
        if (!displayReachable()) {
            printErr(u"kivora: 画面（X ディスプレイ）に接続できません。DISPLAY を確かめてください。"_qs);
            return 1;
        }
        KivoraApplication app(argc, argv);
        QApplication::setApplicationName(u"Kivora"_qs);
        return checkDisplayCommand(timing);
    }

    // The letters and arrows take a while to draw and need no fonts: draw them on another
    // thread while Qt connects to the display and loads its fonts.
    auto shapes = std::async(std::launch::async, &PictureStore::drawShapes);
    if (!displayReachable()) {
        printErr(u"kivora: 画面（X ディスプレイ）に接続できません。DISPLAY を確かめてください。"_qs);
        return 1;
    }
    KivoraApplication app(argc, argv);
    QApplication::setApplicationName(u"Kivora"_qs);
    QApplication::setApplicationVersion(QString::fromLatin1(KIVORA_VERSION));
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    installFontSubstitutes();
    if (!japaneseFaceAvailable())
        printErr(u"kivora: warning: no Japanese font found (%1); texts may show as boxes"_qs.arg(
            japaneseFontSource()));

    // Recorders are set up before any participant sits down: a folder or log that cannot be
    // written stops the program now, not after the first answer.
    std::unique_ptr<SessionData> data;
    std::unique_ptr<EventLog> log;
    try {
        if (parser.isSet(dataOpt)) {
            const QString dir = resolved(parser.value(dataOpt), startDir);
            SessionData::checkFolder(dir);
            data = std::make_unique<SessionData>(dir);
        }
        if (parser.isSet(logOpt))
            log = std::make_unique<EventLog>(resolved(parser.value(logOpt), startDir));
    } catch (const RuntimeError &e) {
        printErr(u"kivora: "_qs + e.detail());
        errorBox(e.detail());
        return 1;
    }

    SystemTimeSource time;
    frmMain main(time, [&shapes] { return shapes.get(); });
    if (data)
        main.addObserver(data.get());
    if (log)
        main.addObserver(log.get());

    // Pictures in step with the display's refresh where it offers that; an explicit request
    // for it on a display without it stops here, before a participant sits down.
    if (timing != u"timers"_qs) {
        QString why;
        std::unique_ptr<Presenter> frames;
        if (timing == u"flip"_qs) {
            frames = makeFlipPresenter(main.Image1, &why);
            if (!frames)
                printErr(u"kivora: --timing flip: %1; the pictures are shown as without it"_qs.arg(why));
        }
        try {
            if (!frames)
                frames = makeFramePresenter(main.Image1, &why);
        } catch (const DisplayError &e) {
            why = e.detail();
        }
        if (frames) {
            main.setPresenter(std::move(frames));
        } else if (timing == u"present"_qs) {
            printErr(u"kivora: --timing present: "_qs + why);
            errorBox(u"画面の書き換えに合わせた表示（--timing present）が使えません。\n\n"_qs + why);
            return 1;
        } else {
            printErr(u"kivora: notice: pictures are shown with timers (%1)"_qs.arg(why));
        }
    }
    // Key presses stamped as they arrive, in either mode, where the display lets a reader see them.
    KeyStamps keyStamps;
    const std::unique_ptr<KeyReader> keyReader = KeyReader::start(keyStamps);
    if (keyReader)
        main.setKeyStamps(&keyStamps);
    if (!planPath.isEmpty())
        main.setPlanFile(planPath);
    if (parser.isSet(shuffleOpt))
        main.shuffleEachRun(freshSeed);
    try {
        main.Form_Load();
    } catch (const PlanError &e) {
        printErr(e.detail());
        errorBox(u"試行計画を読み込めません。\n\n"_qs + e.detail());
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
        const DisplayInfo info = main.presenter().displayInfo();
        // Onsets from the compositor's grid already count its frame.
        if (info.compositor == u"yes"_qs && info.onset != u"dwm"_qs)
            printErr(u"kivora: notice: a compositing manager redirects the window; each picture "
                     u"reaches the screen one compositor frame after its logged onset"_qs);
        const QString keys = QString::fromLatin1(KeyReader::sourceOf(keyReader.get()));
        logQuietly(log.get(), [&info, &keys](EventLog &l) {
            l.display(SteadyClock::instance().nowUs(), info.mode, info.periodUs, info.compositor, info.window,
                      info.onset, keys);
        });
    };
    if (main.presenter().isReady())
        onFirstPaint(&main, displayKnown);
    else
        QObject::connect(&main.presenter(), &Presenter::ready, &main, displayKnown);
    main.show();
    return app.exec();
}

} // namespace kivora
