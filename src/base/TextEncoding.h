#pragma once

#include <QByteArrayView>
#include <QString>
#include <optional>

namespace kivora {

// The encodings a text file from outside the program may come in: UTF-8 (what the program writes,
// with its byte order mark), or Windows code page 932 (Windows-31J: Shift-JIS with NEC's and IBM's
// extensions), which Excel and older Notepad write on a Japanese Windows.
enum class TextEncoding { Utf8, Cp932 };

// Whether bytes are UTF-8 throughout (an empty text is).
bool isUtf8(QByteArrayView bytes);

// The line (from 1; CR LF, LF and a lone CR end a line) that holds the first byte of bytes that is
// not UTF-8; 0 where there is none.
int firstLineNotUtf8(QByteArrayView bytes);

// bytes read as code page 932; nothing where they are not (a byte sequence the code page does not
// define). The system's converter does it: glibc's iconv on Linux, MultiByteToWideChar on Windows.
std::optional<QString> decodeCp932(QByteArrayView bytes);

// Whether text holds a character of Unicode's private use area (U+E000..U+F8FF), where code page
// 932 puts its user-defined characters: a text that needs one was written in another code page.
bool hasPrivateUse(QStringView text);

} // namespace kivora
