#pragma once

#include <QStringList>

namespace kivora {

// The command line and the text the command-line options (--check, --help, ...) print for the
// console or terminal the program was started from.

// Connects standard output and standard error, where they lead nowhere, to the console of the
// process that started this one. A Windows program with windows opens no console of its own, so
// a double-click shows none, while one started from a console window still prints there; output
// sent to a file or a pipe stays where it was sent. On Linux the streams are the terminal's
// already. Call before any output.
void attachStartingConsole();

// The command line as the system hands it over (argv[0] first).
QStringList commandLineArguments(int argc, char **argv);

// Whether what goes to standard output is seen somewhere: a console, a file or a pipe. A Windows
// program started with a double-click or from the Start menu has none (its output is then shown
// in a box); on Linux always.
bool outputSeen();

// text to standard output, flushed at once.
void printOut(const QString &text);
// text and a line end to standard error.
void printErr(const QString &text);

} // namespace kivora
