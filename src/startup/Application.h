#pragma once

namespace kivora {

// The whole program: command line, start-up, the main window and its event loop.
// Returns the process's exit status.
int runApplication(int argc, char **argv);

} // namespace kivora
