// The Windows side of the key reader: there is none. A key press reaches the window's message
// queue with no earlier time stamp of its own that shares the program's clock, so the key
// handler's clock reading, taken first thing, is the moment of the press.
#include "app/KeyReader.h"

namespace kivora {

std::unique_ptr<KeyReader> KeyReader::start(KeyStamps &) {
    return nullptr;
}

} // namespace kivora
