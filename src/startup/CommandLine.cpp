#include "startup/CommandLine.h"

#include "base/TriggerPort.h"
#include "session/TriggerSender.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace kivora {

namespace {

constexpr int HelpWidth = 80;  // columns of the help's lines
constexpr int HelpColumn = 24; // where the descriptions start

} // namespace

QString listed(const QStringList &items, const QString &lastJoin) {
    return items.size() < 2 ? items.join(QString())
                            : items.first(items.size() - 1).join(u", "_qs) + lastJoin + items.last();
}

namespace {

// The names the parser reads; a switch has no value name.
QCommandLineOption parserOption(const OptionDecl &d) {
    return d.valueName.isEmpty() ? QCommandLineOption(d.name)
                                 : QCommandLineOption(d.name, QString(), d.valueName);
}

// text in lines of at most width columns, broken at blanks (a word longer than a line stands
// alone on its line).
QStringList wrapped(const QString &text, int width) {
    QStringList lines;
    QString line;
    for (const QString &word : text.split(u' ', Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            lines << line;
            line.clear();
        }
        line += (line.isEmpty() ? QString() : u" "_qs) + word;
    }
    if (!line.isEmpty())
        lines << line;
    return lines;
}

QString entry(const OptionDecl &d, const QString &clockName) {
    QString left = d.under ? u"    "_qs : u"  "_qs;
    if (d.name.isEmpty())
        left += d.valueName;
    else
        left += u"--"_qs + d.name +
                (d.valueName.isEmpty() ? QString()
                 : d.valueOptional     ? u" ["_qs + d.valueName + u']'
                                       : u' ' + d.valueName);
    const QString help = QString(d.help)
                             .replace(u"{clock}"_qs, clockName)
                             .replace(u"{plan}"_qs, planSearchText())
                             .replace(u"{translations}"_qs, translationsSearchText())
                             .replace(u"{settings}"_qs, settingsSearchText());
    QString out;
    const QStringList lines = wrapped(help, HelpWidth - HelpColumn);
    if (left.size() > HelpColumn - 2)
        out = left + u'\n' + QString(HelpColumn, u' ');
    else
        out = left.leftJustified(HelpColumn);
    return out + lines.join(u'\n' + QString(HelpColumn, u' ')) + u'\n';
}

QString paragraph(const QString &text, int indent) {
    const QString margin(indent, u' ');
    return margin + wrapped(text, HelpWidth - indent).join(u'\n' + margin) + u'\n';
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

ParsedCommandLine refused(const QString &text) {
    return {{}, u"kivora: "_qs + text + u"\nTry 'kivora --help'."_qs};
}

// The options as the parser found them, by their declarations.
class Args {
public:
    explicit Args(const QCommandLineParser &parser) : m_parser(parser) {}
    bool isSet(Opt id) const { return m_parser.isSet(decl(id).name); }
    QString value(Opt id) const { return m_parser.value(decl(id).name); }
    static QString name(Opt id) { return decl(id).name; }

private:
    const QCommandLineParser &m_parser;
};

// --report (or --class-view, as `command` says) without a folder: the parser wants a value after
// every --report, so a --report with none (at the end, or before another option) is taken out of
// args and said here.
bool takeReportWithoutFolder(QStringList &args, Opt command = Opt::Report) {
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (arg == u"--"_qs)
            return false;
        if (!arg.startsWith(u'-') || arg.contains(u'='))
            continue;
        const QString name = arg.sliced(arg.startsWith(u"--"_qs) ? 2 : 1);
        const auto d = std::find_if(optionDecls().begin(), optionDecls().end(), [&name](const OptionDecl &o) {
            return !o.name.isEmpty() && o.name == name;
        });
        if (d == optionDecls().end() || d->valueName.isEmpty())
            continue;
        const bool valueFollows = i + 1 < args.size() && !args[i + 1].startsWith(u'-');
        if (d->id == command && !valueFollows) {
            args.removeAt(i);
            return true;
        }
        ++i; // the value: never an option name
    }
    return false;
}

// A lone argument that is a folder or a file (what Windows passes for one dropped on the
// program), with at most the report's own options beside it.
bool droppedOnProgram(const QStringList &positional, const QCommandLineParser &parser,
                      const QString &startDir) {
    if (positional.size() != 1 || !QFileInfo::exists(resolved(positional.first(), startDir)))
        return false;
    for (const QString &name : parser.optionNames())
        if (name != Args::name(Opt::Out) && name != Args::name(Opt::MinRt) &&
            name != Args::name(Opt::MaxRt) && name != Args::name(Opt::NoOpen))
            return false;
    return true;
}

// The option values of --make-plan and --report; the first that is refused, as a usage error.
QString makePlanValues(const Args &args, StartRequest &r) {
    const std::pair<Opt, QList<int> *> lists[] = {{Opt::FigSets, &r.recipe.figSets},
                                                  {Opt::Times, &r.recipe.times},
                                                  {Opt::StartDirs, &r.recipe.startDirs}};
    for (const auto &[option, values] : lists)
        if (args.isSet(option) && !intList(args.value(option), *values))
            return u"--%1 wants whole numbers separated by commas, not '%2'"_qs.arg(Args::name(option),
                                                                                    args.value(option));
    bool ok = true;
    if (args.isSet(Opt::Repeats))
        r.recipe.repeats = args.value(Opt::Repeats).toInt(&ok);
    if (!ok)
        return u"--repeats wants a whole number, not '%1'"_qs.arg(args.value(Opt::Repeats));
    if (args.isSet(Opt::Seed))
        r.seed = args.value(Opt::Seed).toULongLong(&ok);
    if (!ok)
        return u"--seed wants a whole number 0 to 18446744073709551615, not '%1'"_qs.arg(
            args.value(Opt::Seed));
    return {};
}

QString reportValues(const Args &args, StartRequest &r) {
    for (const auto &[option, value] :
         {std::pair{Opt::MinRt, &r.limits.minRt}, std::pair{Opt::MaxRt, &r.limits.maxRt}}) {
        bool ok = true;
        if (args.isSet(option))
            *value = args.value(option).toInt(&ok);
        if (!ok || *value < 0)
            return u"--%1 wants a whole number of ms, not '%2'"_qs.arg(Args::name(option),
                                                                       args.value(option));
    }
    if (r.limits.minRt > r.limits.maxRt)
        return u"--min-rt %1 is above --max-rt %2"_qs.arg(r.limits.minRt).arg(r.limits.maxRt);
    return {};
}

} // namespace

const QList<OptionDecl> &optionDecls() {
    using G = HelpGroup;
    using V = Setting;
    static const QList<OptionDecl> decls{
        {.id = Opt::Plan,
         .name = u"plan"_qs,
         .valueName = u"FILE"_qs,
         .help = u"read the trial plan from FILE instead of {plan} (a relative FILE is taken from the folder "
                 u"kivora was started in)"_qs,
         .setting = V::Path},
        {.id = Opt::Check,
         .name = u"check"_qs,
         .help = u"read and check the plan, print a summary and exit (status 0), or print FILE:LINE: message "
                 u"and exit with status 1; needs no display"_qs},
        {.id = Opt::CheckDisplay,
         .name = u"check-display"_qs,
         .help = u"show about ten seconds of flips, then ask for key 1, and print the refresh period, its "
                 u"jitter, late flips, the onset and key sources; status 0 when the onsets are exact"_qs},
        {.id = Opt::ExportStimuli,
         .name = u"export-stimuli"_qs,
         .valueName = u"DIR"_qs,
         .help =
             u"write the 56 stimulus pictures as DIR/<list>-<position>.bmp and exit; needs no display"_qs},
        {.id = Opt::Data,
         .name = u"data"_qs,
         .valueName = u"DIR"_qs,
         .help =
             u"save the session as it happens: a CSV file per run in DIR (<YYYYMMDD-HHMMSS>_<name>.csv, a "
             u"row per answered trial, synced to disk before the next trial) and, for every completed run, "
             u"<same stem>_means.csv with the chart's means; DIR is created if missing and must be "
             u"writable"_qs,
         .setting = V::Path},
        {.id = Opt::Log,
         .name = u"log"_qs,
         .valueName = u"FILE"_qs,
         .help =
             u"append a tab-separated timing log to FILE: t_us (the {clock} microseconds reaction times come "
             u"from), event, trial, detail, one line per screen shown, answer, stop, end of run and results "
             u"window"_qs,
         .setting = V::Path},
        {.id = Opt::Timing,
         .name = u"timing"_qs,
         .valueName = u"MODE"_qs,
         .help =
             u"how the pictures reach the screen: \"present\" (each in step with the display's refresh, its "
             u"onset taken from the display; the default where the display offers the X Present "
             u"extension) or \"timers\" (painted when its timer fires, its onset read once the repaint "
             u"reached the X server); on Windows also \"flip\" (a DXGI swap chain, its onsets from the swap "
             u"chain's frame statistics)"_qs,
         .setting = V::Choice,
         .choices = timingWords()},
        {.id = Opt::Shuffle,
         .name = u"shuffle"_qs,
         .help =
             u"every run takes the plan's trials in a fresh random order; its seed goes into the data rows "
             u"(order_seed) and the log's run_start line"_qs,
         .setting = V::Switch},
        {.id = Opt::Fullscreen,
         .name = u"fullscreen"_qs,
         .help =
             u"show the main window over the whole monitor, without frame or title bar, its controls at "
             u"their designed size in the middle; the pointer is hidden while a run is in progress, and on "
             u"X11 a compositor is asked to leave the window alone (whether it did, the display line and "
             u"the data rows say)"_qs,
         .setting = V::Switch},
        {.id = Opt::Screen,
         .name = u"screen"_qs,
         .valueName = u"NAME"_qs,
         .help =
             u"the monitor the windows are shown on: its name as the system gives it (HDMI-1; on Windows "
             u"\\\\.\\DISPLAY2, which may change between reboots) or, the stable choice where it is unique, "
             u"its model or manufacturer and model (see --list-screens); default: the primary monitor"_qs,
         .setting = V::Text,
         .allowed = u"a monitor's name or model (kivora --list-screens)"_qs},
        {.id = Opt::ListScreens,
         .name = u"list-screens"_qs,
         .help = u"list every monitor (name, manufacturer and model, size, refresh rate, scaling, which is "
                 u"primary) and exit"_qs},
        {.id = Opt::Practice,
         .name = u"practice"_qs,
         .valueName = u"FILE"_qs,
         .help =
             u"practice trials before the plan's, from FILE (a plan in the same format, checked at start-up "
             u"like the plan): a text screen announces them, each answer is followed by \"正解\" or "
             u"\"不正解\" "
             u"and its reaction time for a second, and their rows are marked block=practice; they enter no "
             u"statistic"_qs,
         .setting = V::Path},
        {.id = Opt::PracticeCriterion,
         .name = u"practice-criterion"_qs,
         .valueName = u"PERCENT"_qs,
         .help = u"a practice round whose share of correct answers is below PERCENT (0-100, default 0) is "
                 u"practised again, three rounds at most"_qs,
         .setting = V::Number,
         .low = 0,
         .high = 100},
        {.id = Opt::BreakEvery,
         .name = u"break-every"_qs,
         .valueName = u"N"_qs,
         .help = u"a break after every N-th of the plan's trials (1-%1) but the last: a text screen says "
                 u"how many are done and waits for Space"_qs.arg(MaxTrials - 1),
         .setting = V::Number,
         .low = 1,
         .high = MaxTrials - 1},
        {.id = Opt::Subject,
         .name = u"subject"_qs,
         .valueName = u"MODE"_qs,
         .help =
             u"who a run is of: \"name\" (the participant's name, the default), \"code\" (a participant code "
             u"typed instead: 1-32 of A-Z, a-z, 0-9, - and _, beginning with a letter or digit) or \"auto\" "
             u"(a "
             u"fresh code P and six digits offered, none the data folder has files of); with a code the name "
             u"is asked for and kept nowhere"_qs,
         .setting = V::Choice,
         .choices = subjectModeWords()},
        {.id = Opt::Language,
         .name = u"language"_qs,
         .valueName = u"CODE"_qs,
         .help = u"the language of every text a participant or an experimenter reads (windows, pictures, "
                 u"printout, report, boxes): \"ja\" (the default), \"en\", or the code of a translation "
                 u"kivora_<CODE>.qm in a folder \"translations\" beside the program{translations}; data "
                 u"files, the log and the report's CSV files stay as they are"_qs,
         .setting = V::Text,
         .allowed = u"a language code (kivora --list-languages)"_qs},
        {.id = Opt::ListLanguages,
         .name = u"list-languages"_qs,
         .help = u"list every language found (its code and its name) and exit"_qs},
        {.id = Opt::Trigger,
         .name = u"trigger"_qs,
         .valueName = u"PORT"_qs,
         .help = u"send a one-byte trigger code to a recorder (EEG, eye tracker) at every screen's onset and "
                 u"every answer, through PORT: a serial port (Linux /dev/ttyUSB0, /dev/ttyACM0; Windows "
                 u"COM3) or, on Linux, a parallel port (/dev/parport0); each code's lag goes to the log "
                 u"and the test figure's to the data rows (trigger_lag_us). A port that cannot be opened "
                 u"stops the program; with --check-display, a code 255 at each flip and the lags printed"_qs,
         .setting = V::Text,
         .allowed = u"a serial or parallel port's name"_qs},
        {.id = Opt::TriggerBaud,
         .name = u"trigger-baud"_qs,
         .valueName = u"N"_qs,
         .under = true,
         .help = u"the serial port's rate, default %1 (8 data bits, no parity, one stop bit, no flow "
                 u"control; USB trigger boxes ignore it)"_qs.arg(DefaultTriggerBaud),
         .setting = V::Number,
         .low = 50,
         .high = 4000000},
        {.id = Opt::TriggerPulseMs,
         .name = u"trigger-pulse-ms"_qs,
         .valueName = u"MS"_qs,
         .under = true,
         .help = u"the port goes back to 0 MS after each code (0-1000, default %1; 0: the code stands until "
                 u"the next)"_qs.arg(TriggerSender::DefaultPulseMs),
         .setting = V::Number,
         .low = 0,
         .high = 1000},
        {.id = Opt::Settings,
         .name = u"settings"_qs,
         .valueName = u"FILE"_qs,
         .help = u"read the settings file (below) FILE instead of {settings}"_qs},
        {.id = Opt::Help, .name = u"help"_qs, .help = u"show this help and exit"_qs},
        {.id = Opt::Version, .name = u"version"_qs, .help = u"show the version and the licence and exit"_qs},

        {.id = Opt::MakePlan,
         .name = u"make-plan"_qs,
         .valueName = u"FILE"_qs,
         .group = G::Class,
         .help = u"write a balanced plan to FILE (never overwritten): every figure set x cue direction 0-5 x "
                 u"as it was/mirrored x time x start direction x repeats, in one shuffled order; prints the "
                 u"trial count and the seed"_qs},
        {.id = Opt::FigSets,
         .name = u"figsets"_qs,
         .valueName = u"LIST"_qs,
         .group = G::Class,
         .under = true,
         .help = u"figure sets, default 1,2,3,4"_qs},
        {.id = Opt::Times,
         .name = u"times"_qs,
         .valueName = u"LIST"_qs,
         .group = G::Class,
         .under = true,
         .help = u"presentation times in ms, default 400,800,1200"_qs},
        {.id = Opt::StartDirs,
         .name = u"start-dirs"_qs,
         .valueName = u"LIST"_qs,
         .group = G::Class,
         .under = true,
         .help = u"start directions 0-5, default 0"_qs},
        {.id = Opt::Repeats,
         .name = u"repeats"_qs,
         .valueName = u"N"_qs,
         .group = G::Class,
         .under = true,
         .help = u"each combination N times, default 1"_qs},
        {.id = Opt::Seed,
         .name = u"seed"_qs,
         .valueName = u"N"_qs,
         .group = G::Class,
         .under = true,
         .help = u"the order's seed (default: a fresh one)"_qs},
        {.id = Opt::Report,
         .name = u"report"_qs,
         .valueName = u"DIR"_qs,
         .group = G::Class,
         .help =
             u"read every data file in DIR and write cells.csv, runs.csv, group.csv and report.pdf; exit "
             u"status 0 when at least one run was read. Without DIR it asks for the folder with the "
             u"system's folder dialog (this needs a display), starting at the settings' data folder, then "
             u"opens report.pdf and shows in a box what was read; Cancel ends it with status 1, nothing "
             u"written"_qs,
         .valueOptional = true},
        {.id = Opt::Out,
         .name = u"out"_qs,
         .valueName = u"FOLDER"_qs,
         .group = G::Class,
         .under = true,
         .help = u"where the report goes, default DIR/report"_qs},
        {.id = Opt::MinRt,
         .name = u"min-rt"_qs,
         .valueName = u"MS"_qs,
         .group = G::Class,
         .under = true,
         .help = u"shorter correct RTs are left out, default 150"_qs},
        {.id = Opt::MaxRt,
         .name = u"max-rt"_qs,
         .valueName = u"MS"_qs,
         .group = G::Class,
         .under = true,
         .help = u"longer correct RTs are left out, default 10000"_qs},
        {.id = Opt::NoOpen,
         .name = u"no-open"_qs,
         .group = G::Class,
         .under = true,
         .help =
             u"after the folder dialog or for a dropped folder: no box and no PDF viewer, what was read goes "
             u"to the console as with --report DIR"_qs},
        {.id = Opt::ClassView,
         .name = u"class-view"_qs,
         .valueName = u"DIR"_qs,
         .group = G::Class,
         .help = u"show the class as its data files arrive in DIR, for a projector: the group's chart as "
                 u"report.pdf draws it, the runs with their states (complete, incomplete, being written, "
                 u"unreadable), the counts in the window's title; the folder is listed about once a second "
                 u"and read only where a file changed, and nothing is written into it but the report its "
                 u"button writes. --min-rt and --max-rt apply as to --report. Without DIR it asks for the "
                 u"folder as --report does. Needs a display"_qs,
         .valueOptional = true},
        {.id = Opt::Folder,
         .valueName = u"FOLDER"_qs,
         .group = G::Class,
         .help =
             u"a folder as the only argument (what a folder dropped on kivora gives): its report, as with "
             u"--report alone after the dialog; a file there is refused with a box"_qs},
    };
    return decls;
}

const OptionDecl &decl(Opt id) {
    return *std::find_if(optionDecls().begin(), optionDecls().end(),
                         [id](const OptionDecl &d) { return d.id == id; });
}

std::optional<int> numberValue(const OptionDecl &d, const QString &text) {
    if (text.isEmpty() || text.size() > 9 ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; }))
        return std::nullopt;
    const int value = text.toInt();
    return value >= d.low && value <= d.high ? std::optional(value) : std::nullopt;
}

namespace {
// true or false, also yes/no and 1/0, in any case.
std::optional<bool> truth(const QString &value) {
    const QString v = value.toLower();
    if (v == u"true"_qs || v == u"yes"_qs || v == u"1"_qs)
        return true;
    if (v == u"false"_qs || v == u"no"_qs || v == u"0"_qs)
        return false;
    return std::nullopt;
}
} // namespace

bool putOption(RunOptions &options, const OptionDecl &d, const QString &value) {
    switch (d.setting) {
    case Setting::Switch: {
        const std::optional<bool> on = truth(value);
        (d.id == Opt::Shuffle ? options.shuffle : options.fullscreen) = on;
        return on.has_value();
    }
    case Setting::Choice: {
        const qsizetype choice = d.choices.indexOf(value);
        if (choice < 0)
            return false;
        if (d.id == Opt::Timing)
            options.timing = Timing(choice);
        else
            options.subject = SubjectMode(choice);
        return true;
    }
    case Setting::Path:
        (d.id == Opt::Plan   ? options.plan
         : d.id == Opt::Data ? options.data
         : d.id == Opt::Log  ? options.log
                             : options.practice) = value;
        return true;
    case Setting::Text:
        (d.id == Opt::Language ? options.language
         : d.id == Opt::Screen ? options.screen
                               : options.trigger) = value;
        return true;
    case Setting::Number: {
        const std::optional<int> number = numberValue(d, value);
        (d.id == Opt::PracticeCriterion ? options.practiceCriterion
         : d.id == Opt::BreakEvery      ? options.breakEvery
         : d.id == Opt::TriggerBaud     ? options.triggerBaud
                                        : options.triggerPulseMs) = number;
        return number.has_value();
    }
    case Setting::None:
        break;
    }
    return false;
}

QString settingKey(const OptionDecl &d) {
    return QString(d.name).replace(u'-', u'_');
}

QString allowedValues(const OptionDecl &d) {
    switch (d.setting) {
    case Setting::Switch:
        return u"true or false (also yes/no, 1/0)"_qs;
    case Setting::Choice:
        return listed(d.choices, u" or "_qs);
    case Setting::Path:
        return u"a path"_qs;
    case Setting::Text:
        return d.allowed;
    case Setting::Number:
        return u"a whole number %1 to %2"_qs.arg(d.low).arg(d.high);
    case Setting::None:
        break;
    }
    return {};
}

namespace {
// The declarations of the settings file's keys by kind (paths, switches, choices, numbers,
// texts), each kind in the order of the declarations.
QList<const OptionDecl *> settingDecls() {
    QList<const OptionDecl *> out;
    for (const Setting kind :
         {Setting::Path, Setting::Switch, Setting::Choice, Setting::Number, Setting::Text})
        for (const OptionDecl &d : optionDecls())
            if (d.setting == kind)
                out << &d;
    return out;
}

} // namespace

const QStringList &settingsKeys() {
    static const QStringList keys = [] {
        QStringList k;
        for (const OptionDecl *d : settingDecls())
            k << settingKey(*d);
        return k;
    }();
    return keys;
}

QString helpText(const QString &clockName) {
    QString text = u"Usage: kivora [options]\n       kivora FOLDER\n\n"_qs;
    text +=
        paragraph(u"Kivora, a mental-rotation reaction-time experiment. Without options it reads the trial "
                  u"plan sequence.csv from its own folder and opens the main window."_qs,
                  0);
    const std::pair<HelpGroup, QString> groups[] = {
        {HelpGroup::Run, u"Options:"_qs}, {HelpGroup::Class, u"Running a class (no display needed):"_qs}};
    for (const auto &[group, heading] : groups) {
        text += u'\n' + heading + u'\n';
        for (const OptionDecl &d : optionDecls())
            if (d.group == group)
                text += entry(d, clockName);
    }
    text += u"\nSettings file:\n"_qs;
    // The keys described by kind: the paths together, then each other key with what it takes.
    QStringList paths;
    QStringList others;
    for (const OptionDecl *d : settingDecls()) {
        if (d->setting == Setting::Path)
            paths << settingKey(*d);
        else
            others << settingKey(*d) + u" ("_qs +
                          (d->setting == Setting::Switch ? u"true or false, also yes/no, 1/0"_qs
                                                         : allowedValues(*d)) +
                          u")"_qs;
    }
    text += paragraph(
        u"%3 (or the FILE of --settings), UTF-8, gives a session and the other commands "
        u"their options: one key=value a line, at the top or under [General]. Keys: %1 (paths as written; a "
        u"relative one counts from the file's folder; %NAME%, $NAME and ${NAME} are environment variables), "
        u"%2. An option on the command line wins over the file. A missing kivora.ini is no error; an unknown "
        u"key or a bad value stops the program with the file, the line and what is allowed."_qs.arg(
            listed(paths), listed(others), settingsSearchText()),
        2);
    return text;
}

QString versionText() {
    return u"kivora " KIVORA_VERSION "\n"
           u"Copyright (C) 2026 the Kivora authors\n"
           u"License GPLv3+: GNU GPL version 3 or later <https://www.gnu.org/licenses/gpl.html>.\n"
           u"This is free software: you are free to change and redistribute it.\n"
           u"There is NO WARRANTY, to the extent permitted by law.\n"_qs;
}

ParsedCommandLine parseCommandLine(const QStringList &arguments, const QString &startDir) {
    QStringList args = arguments;
    const bool reportAsked = takeReportWithoutFolder(args);
    const bool classViewAsked = takeReportWithoutFolder(args, Opt::ClassView);
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionDecl &d : optionDecls())
        if (!d.name.isEmpty())
            parser.addOption(parserOption(d));
    if (!parser.parse(args))
        return refused(parser.errorText());
    const Args a(parser);
    const QStringList positional = parser.positionalArguments();
    const bool dropped = !reportAsked && !classViewAsked && droppedOnProgram(positional, parser, startDir);
    if (!positional.isEmpty() && !dropped)
        return refused(u"unexpected argument '%1'"_qs.arg(positional.first()));

    ParsedCommandLine parsed;
    StartRequest &r = parsed.request;
    if (a.isSet(Opt::Help)) {
        r.command = Command::Help;
        return parsed;
    }
    if (a.isSet(Opt::Version)) {
        r.command = Command::Version;
        return parsed;
    }
    // The options a session also takes from the settings file, read the way the file's keys are
    // (a switch given is true; a relative path counts from the folder kivora was started in).
    for (const OptionDecl &d : optionDecls()) {
        if (d.setting == Setting::None || !a.isSet(d.id))
            continue;
        const QString value = d.setting == Setting::Switch ? u"true"_qs
                              : d.setting == Setting::Path ? resolved(a.value(d.id), startDir)
                                                           : a.value(d.id);
        if (!putOption(r.run, d, value))
            return refused(u"--%1 takes %2, not '%3'"_qs.arg(d.name, allowedValues(d), a.value(d.id)));
    }

    const bool report = a.isSet(Opt::Report) || reportAsked || dropped;
    const bool classView = a.isSet(Opt::ClassView) || classViewAsked;
    if (report && classView)
        return refused(u"--report and --class-view are two commands: give one"_qs);
    // An option that belongs to another command is a mistake worth saying.
    for (Opt o : {Opt::FigSets, Opt::Times, Opt::StartDirs, Opt::Repeats, Opt::Seed})
        if (a.isSet(o) && !a.isSet(Opt::MakePlan))
            return refused(u"--%1 is an option of --make-plan"_qs.arg(Args::name(o)));
    for (Opt o : {Opt::Out, Opt::NoOpen})
        if (a.isSet(o) && !report)
            return refused(u"--%1 is an option of --report"_qs.arg(Args::name(o)));
    for (Opt o : {Opt::MinRt, Opt::MaxRt})
        if (a.isSet(o) && !report && !classView)
            return refused(u"--%1 is an option of --report and --class-view"_qs.arg(Args::name(o)));

    r.command = a.isSet(Opt::MakePlan)        ? Command::MakePlan
                : report                      ? Command::Report
                : classView                   ? Command::ClassView
                : a.isSet(Opt::Check)         ? Command::Check
                : a.isSet(Opt::CheckDisplay)  ? Command::CheckDisplay
                : a.isSet(Opt::ListScreens)   ? Command::ListScreens
                : a.isSet(Opt::ListLanguages) ? Command::ListLanguages
                : a.isSet(Opt::ExportStimuli) ? Command::ExportStimuli
                                              : Command::Session;
    if (a.isSet(Opt::Settings) && r.command != Command::Session && r.command != Command::Check &&
        r.command != Command::CheckDisplay && r.command != Command::Report &&
        r.command != Command::ClassView && r.command != Command::ExportStimuli)
        return refused(u"--settings is read by a session, --check, --check-display, --export-stimuli, "
                       u"--report and --class-view"_qs);

    r.settingsFile = resolved(a.value(Opt::Settings), startDir);
    r.exportDir = resolved(a.value(Opt::ExportStimuli), startDir);
    if (r.command == Command::MakePlan) {
        r.planFile = resolved(a.value(Opt::MakePlan), startDir);
        if (const QString problem = makePlanValues(a, r); !problem.isEmpty())
            return refused(problem);
    }
    if (r.command == Command::Report) {
        r.reportFolder = reportAsked ? ReportFolder::Asked
                         : dropped   ? ReportFolder::Dropped
                                     : ReportFolder::Given;
        r.reportDir = resolved(dropped ? positional.first() : a.value(Opt::Report), startDir);
        r.reportOut = resolved(a.value(Opt::Out), startDir);
        r.noOpen = a.isSet(Opt::NoOpen);
        if (const QString problem = reportValues(a, r); !problem.isEmpty())
            return refused(problem);
    }
    if (r.command == Command::ClassView) {
        r.reportFolder = classViewAsked ? ReportFolder::Asked : ReportFolder::Given;
        r.reportDir = resolved(a.value(Opt::ClassView), startDir);
        if (const QString problem = reportValues(a, r); !problem.isEmpty())
            return refused(problem);
    }
    return parsed;
}

} // namespace kivora
