// libFuzzer target on the data-file reader the report uses: every input must keep the reader's
// promises (tests/support/DataFileCorpus.h). The seed corpus is tests/fuzz/corpus-datafile/; the
// report's tests run the same check on each of its files.
#include "support/DataFileCorpus.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray content = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString broken = datafiles::brokenPromise(content);
    if (!broken.isEmpty()) {
        std::fprintf(stderr, "data-file reader: %s\n", qPrintable(broken));
        std::abort();
    }
    return 0;
}
