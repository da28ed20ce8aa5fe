#include "startup/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace kivora {

namespace {

constexpr int HelpWidth = 80;  // columns of the help's lines
constexpr int HelpColumn = 24; // where the descriptions start

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
    const QString help = d.help.contains(u"%1"_qs) ? d.help.arg(clockName) : d.help;
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

// --report without a folder: the parser wants a value after every --report, so a --report with
// none (at the end, or before another option) is taken out of args and said here.
bool takeReportWithoutFolder(QStringList &args) {
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
        if (d->id == Opt::Report && !valueFollows) {
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
    static const QList<OptionDecl> decls{
        {Opt::Plan, u"plan"_qs, u"FILE"_qs, G::Run, false,
         u"read the trial plan from FILE instead of sequence.csv in the program's folder (a relative FILE is "
         u"taken from the folder kivora was started in)"_qs},
        {Opt::Check,
         u"check"_qs,
         {},
         G::Run,
         false,
         u"read and check the plan, print a summary and exit (status 0), or print FILE:LINE: message and "
         u"exit "
         u"with status 1; needs no display"_qs},
        {Opt::CheckDisplay,
         u"check-display"_qs,
         {},
         G::Run,
         false,
         u"show about ten seconds of flips, then ask for key 1, and print the refresh period, its jitter, "
         u"late "
         u"flips, the onset and key sources; status 0 when the onsets are exact"_qs},
        {Opt::ExportStimuli, u"export-stimuli"_qs, u"DIR"_qs, G::Run, false,
         u"write the 56 stimulus pictures as DIR/<list>-<position>.bmp and exit; needs no display"_qs},
        {Opt::Data, u"data"_qs, u"DIR"_qs, G::Run, false,
         u"save the session as it happens: a CSV file per run in DIR (<YYYYMMDD-HHMMSS>_<name>.csv, a row "
         u"per "
         u"answered trial, synced to disk before the next trial) and, for every completed run, <same "
         u"stem>_means.csv with the chart's means; DIR is created if missing and must be writable"_qs},
        {Opt::Log, u"log"_qs, u"FILE"_qs, G::Run, false,
         u"append a tab-separated timing log to FILE: t_us (the %1 microseconds reaction times come from), "
         u"event, trial, detail, one line per screen shown, answer, stop, end of run and results window"_qs},
        {Opt::Timing, u"timing"_qs, u"MODE"_qs, G::Run, false,
         u"how the pictures reach the screen: \"present\" (each in step with the display's refresh, its "
         u"onset "
         u"taken from the display; the default where the display offers the X Present extension) or "
         u"\"timers\" (painted when its timer fires, its onset read once the repaint reached the X server); "
         u"on "
         u"Windows also \"flip\" (a DXGI swap chain, its onsets from the swap chain's frame statistics)"_qs},
        {Opt::Shuffle,
         u"shuffle"_qs,
         {},
         G::Run,
         false,
         u"every run takes the plan's trials in a fresh random order; its seed goes into the data rows "
         u"(order_seed) and the log's run_start line"_qs},
        {Opt::Settings, u"settings"_qs, u"FILE"_qs, G::Run, false,
         u"read the settings file (below) FILE instead of kivora.ini in the program's folder"_qs},
        {Opt::Help, u"help"_qs, {}, G::Run, false, u"show this help and exit"_qs},
        {Opt::Version, u"version"_qs, {}, G::Run, false, u"show the version and the licence and exit"_qs},

        {Opt::MakePlan, u"make-plan"_qs, u"FILE"_qs, G::Class, false,
         u"write a balanced plan to FILE (never overwritten): every figure set x cue direction 0-5 x as it "
         u"was/mirrored x time x start direction x repeats, in one shuffled order; prints the trial count "
         u"and "
         u"the seed"_qs},
        {Opt::FigSets, u"figsets"_qs, u"LIST"_qs, G::Class, true, u"figure sets, default 1,2,3,4"_qs},
        {Opt::Times, u"times"_qs, u"LIST"_qs, G::Class, true,
         u"presentation times in ms, default 400,800,1200"_qs},
        {Opt::StartDirs, u"start-dirs"_qs, u"LIST"_qs, G::Class, true, u"start directions 0-5, default 0"_qs},
        {Opt::Repeats, u"repeats"_qs, u"N"_qs, G::Class, true, u"each combination N times, default 1"_qs},
        {Opt::Seed, u"seed"_qs, u"N"_qs, G::Class, true, u"the order's seed (default: a fresh one)"_qs},
        {Opt::Report, u"report"_qs, u"DIR"_qs, G::Class, false,
         u"read every data file in DIR and write cells.csv, runs.csv, group.csv and report.pdf; exit status "
         u"0 "
         u"when at least one run was read. Without DIR it asks for the folder with the system's folder "
         u"dialog "
         u"(this needs a display), starting at the settings' data folder, then opens report.pdf and shows in "
         u"a box what was read; Cancel ends it with status 1, nothing written"_qs,
         true},
        {Opt::Out, u"out"_qs, u"FOLDER"_qs, G::Class, true, u"where the report goes, default DIR/report"_qs},
        {Opt::MinRt, u"min-rt"_qs, u"MS"_qs, G::Class, true,
         u"shorter correct RTs are left out, default 150"_qs},
        {Opt::MaxRt, u"max-rt"_qs, u"MS"_qs, G::Class, true,
         u"longer correct RTs are left out, default 10000"_qs},
        {Opt::NoOpen,
         u"no-open"_qs,
         {},
         G::Class,
         true,
         u"after the folder dialog or for a dropped folder: no box and no PDF viewer, what was read goes to "
         u"the console as with --report DIR"_qs},
        {Opt::Folder,
         {},
         u"FOLDER"_qs,
         G::Class,
         false,
         u"a folder as the only argument (what a folder dropped on kivora gives): its report, as with "
         u"--report "
         u"alone after the dialog; a file there is refused with a box"_qs},
    };
    return decls;
}

const OptionDecl &decl(Opt id) {
    return *std::find_if(optionDecls().begin(), optionDecls().end(),
                         [id](const OptionDecl &d) { return d.id == id; });
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
    text += paragraph(
        u"kivora.ini in the program's folder (or the FILE of --settings), UTF-8, gives a session and --check "
        u"their options: one key=value a line, at the top or under [General]. Keys: plan, data and log "
        u"(paths "
        u"as written; a relative one counts from the file's folder; %NAME%, $NAME and ${NAME} are "
        u"environment "
        u"variables), shuffle (true or false, also yes/no, 1/0) and timing (present, timers or flip). An "
        u"option on "
        u"the command line wins over the file. A missing kivora.ini is no error; an unknown key or a bad "
        u"value "
        u"stops the program with the file, the line and what is allowed."_qs,
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
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const OptionDecl &d : optionDecls())
        if (!d.name.isEmpty())
            parser.addOption(parserOption(d));
    if (!parser.parse(args))
        return refused(parser.errorText());
    const Args a(parser);
    const QStringList positional = parser.positionalArguments();
    const bool dropped = !reportAsked && droppedOnProgram(positional, parser, startDir);
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
    r.run.timing = a.value(Opt::Timing);
    if (a.isSet(Opt::Timing) && !timingModes().contains(r.run.timing))
        return {{}, u"kivora: --timing takes present, timers or flip, not '%1'"_qs.arg(r.run.timing)};

    const bool report = a.isSet(Opt::Report) || reportAsked || dropped;
    // An option that belongs to another command is a mistake worth saying.
    for (Opt o : {Opt::FigSets, Opt::Times, Opt::StartDirs, Opt::Repeats, Opt::Seed})
        if (a.isSet(o) && !a.isSet(Opt::MakePlan))
            return refused(u"--%1 is an option of --make-plan"_qs.arg(Args::name(o)));
    for (Opt o : {Opt::Out, Opt::MinRt, Opt::MaxRt, Opt::NoOpen})
        if (a.isSet(o) && !report)
            return refused(u"--%1 is an option of --report"_qs.arg(Args::name(o)));

    r.command = a.isSet(Opt::MakePlan)        ? Command::MakePlan
                : report                      ? Command::Report
                : a.isSet(Opt::Check)         ? Command::Check
                : a.isSet(Opt::CheckDisplay)  ? Command::CheckDisplay
                : a.isSet(Opt::ExportStimuli) ? Command::ExportStimuli
                                              : Command::Session;
    if (a.isSet(Opt::Settings) && r.command != Command::Session && r.command != Command::Check &&
        r.command != Command::CheckDisplay && !reportAsked)
        return refused(
            u"--settings is read by a session, --check, --check-display and --report without a folder"_qs);

    r.run.plan = resolved(a.value(Opt::Plan), startDir);
    r.run.data = resolved(a.value(Opt::Data), startDir);
    r.run.log = resolved(a.value(Opt::Log), startDir);
    if (a.isSet(Opt::Shuffle))
        r.run.shuffle = true;
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
    return parsed;
}

} // namespace kivora
