// Code page 932 through glibc's iconv, whose "CP932" is Microsoft's table (0x8160 is U+FF5E, as
// Windows has it, not the U+301C of plain Shift-JIS).
#include "base/TextEncoding.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace kivora {

std::optional<QString> decodeCp932(QByteArrayView bytes) {
    const iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == iconv_t(-1))
        return std::nullopt;
    // At most one UTF-16 unit per byte: every character of the code page is in the BMP.
    std::vector<char16_t> out(std::size_t(bytes.size()) + 1);
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = std::size_t(bytes.size());
    char *to = reinterpret_cast<char *>(out.data());
    std::size_t toLeft = out.size() * sizeof(char16_t);
    const std::size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
    // A sequence cut off at the end counts as invalid too: there is no more input to finish it.
    const bool whole = done != std::size_t(-1) && inLeft == 0 &&
                       iconv(cd, nullptr, nullptr, &to, &toLeft) != std::size_t(-1);
    iconv_close(cd);
    if (!whole)
        return std::nullopt;
    const auto units = qsizetype((out.size() * sizeof(char16_t) - toLeft) / sizeof(char16_t));
    return QString::fromUtf16(out.data(), units);
}

} // namespace kivora
