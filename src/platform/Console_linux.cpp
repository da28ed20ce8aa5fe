// The Linux side of the console: the standard streams, in the locale's encoding (UTF-8).
#include "platform/Console.h"

#include <cstdio>

namespace kivora {

void attachStartingConsole() {
    // A terminal hands its streams to the programs it starts: nothing to connect.
}

QStringList commandLineArguments(int argc, char **argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

bool outputSeen() {
    return true; // a terminal, a file, a pipe, or a desktop session's journal
}

void printErr(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

void printOut(const QString &text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

} // namespace kivora
