// libFuzzer target on the plan reader the program uses: every input must keep the reader's
// promises (tests/support/PlanCorpus.h). The seed corpus is tests/fuzz/corpus/; the plan tests
// run the same check on each of its files.
#include "support/PlanCorpus.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString broken = plans::brokenPromise(content);
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "plan reader: %s\n", qPrintable(broken));
        std::abort();
    }
    return 0;
}
