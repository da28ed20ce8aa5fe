#pragma once

#include "analysis/GroupStats.h"
#include "run/PlanMaker.h"
#include "startup/Settings.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kivora {

// The command line: each option declared once, with its place and text in --help; the help is
// made from these declarations, and the parser reads the options they name.

enum class Opt {
    Plan,
    Check,
    CheckDisplay,
    ExportStimuli,
    Data,
    Log,
    Timing,
    Shuffle,
    Fullscreen,
    Screen,
    ListScreens,
    Practice,
    PracticeCriterion,
    BreakEvery,
    Subject,
    Language,
    ListLanguages,
    Trigger,
    TriggerBaud,
    TriggerPulseMs,
    Settings,
    Help,
    Version, // a session's
    MakePlan,
    FigSets,
    Times,
    StartDirs,
    Repeats,
    Seed, // --make-plan's
    Report,
    Out,
    MinRt,
    MaxRt,
    NoOpen, // --report's
    ClassView,
    Folder, // not an option: a folder as the only argument
};

// The groups of the help, in its order.
enum class HelpGroup { Run, Class };

// What the settings file takes for an option that is also one of its keys.
enum class Setting {
    None,   // not a key of the settings file
    Path,   // a path, as written (environment variables replaced)
    Switch, // true or false (also yes/no, 1/0); on the command line the option alone is true
    Choice, // one of the option's choices
    Text,   // any text that is not empty
    Number, // a whole number from low to high
};

struct OptionDecl {
    Opt id;
    QString name = {};      // without the dashes; empty for the argument FOLDER
    QString valueName = {}; // empty for a switch
    HelpGroup group = HelpGroup::Run;
    bool under = false; // listed under the option before it, whose command it belongs to
    // One paragraph; the help wraps it. {clock} stands for the clock's name, {plan} and
    // {settings} for where the plan and the settings file are looked for.
    QString help = {};
    bool valueOptional = false; // --report [DIR], --class-view [DIR]
    Setting setting = Setting::None;
    QStringList choices = {}; // the values of a Choice, in the order the help and the messages list them
    QString allowed = {};     // what a Text may be, for the help and the messages
    int low = 0;              // a Number's range
    int high = 0;
};

const QList<OptionDecl> &optionDecls();
const OptionDecl &decl(Opt id);

// The key of an option in the settings file: its name with "_" for "-".
QString settingKey(const OptionDecl &d);
// "a, b and c" (or with lastJoin " or ": "a, b or c").
QString listed(const QStringList &items, const QString &lastJoin = u" and "_qs);
// What a value of d may be, for a refusal: "present, timers or flip", "true or false (also
// yes/no, 1/0)".
QString allowedValues(const OptionDecl &d);
// The keys of the settings file, by kind (paths, switches, choices, numbers, texts).
const QStringList &settingsKeys();
// A Number's value written as text (plain decimal digits), where it is in its range.
std::optional<int> numberValue(const OptionDecl &d, const QString &text);
// Puts value into the field of options that d's setting fills, read as the setting takes it (a
// path as it stands: the caller has made it absolute). False where d takes no such value.
bool putOption(RunOptions &options, const OptionDecl &d, const QString &value);

// --help: the declarations in their groups, each description wrapped beside its option.
// clockName is the clock the log's t_us come from.
QString helpText(const QString &clockName);

// --version: the version and the licence.
QString versionText();

// What the program was asked to do.
enum class Command {
    Session,
    Help,
    Version,
    Check,
    CheckDisplay,
    ListScreens,
    ListLanguages,
    ExportStimuli,
    MakePlan,
    Report,
    ClassView
};

// Where the folder of the report (or of the class view) comes from.
enum class ReportFolder {
    Given,   // --report DIR: console only; --class-view DIR
    Asked,   // --report or --class-view alone: the system's folder dialog
    Dropped, // the only argument, as Windows passes a folder dropped on the program
};

// The command line read. Paths are absolute: a relative one counts from the folder the program
// was started in.
struct StartRequest {
    Command command = Command::Session;
    RunOptions run;       // a run's options: --plan, --data, ... (RunOptions)
    QString settingsFile; // --settings; empty: kivora.ini in the program's folder
    QString exportDir;    // --export-stimuli
    QString planFile;     // --make-plan, with its recipe and seed
    PlanRecipe recipe;
    std::optional<quint64> seed;
    ReportFolder reportFolder = ReportFolder::Given;
    QString reportDir; // empty when it is asked for
    QString reportOut; // --out; empty: reportDir/report
    RtLimits limits;
    bool noOpen = false; // --no-open
};

struct ParsedCommandLine {
    StartRequest request;
    // Empty, or the text for standard error of a command line that is refused (exit status 2).
    QString error;
};

// args with argv[0] first. Looks at the file system only for a lone argument (a folder, a file
// or neither).
ParsedCommandLine parseCommandLine(const QStringList &args, const QString &startDir);

} // namespace kivora
