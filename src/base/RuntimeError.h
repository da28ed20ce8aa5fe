#pragma once

#include <QString>
#include <exception>
#include <string>

namespace kivora {

// The numbered run-time errors the program can raise, each with its Japanese standard message.
// The numbers are fixed: the error box and the start-up message show them, and a lab's notes
// may refer to them.
enum ErrorNumber : int {
    ErrOverflow = 6,
    ErrSubscript = 9,
    ErrTypeMismatch = 13,
    ErrFileNotFound = 53,
    ErrFileAlreadyExists = 58,
    ErrInputPastEnd = 62,
    ErrPermissionDenied = 70,
    ErrPathFileAccess = 75,
    ErrPathNotFound = 76,
    ErrControlArray = 340,
    ErrInvalidProperty = 380,
    ErrPrinter = 482,
    ErrImageIndex = 35600,
    ErrImageKey = 35601,
};

// One run-time error: its number, the standard message of that number and, where the place of
// the failure is known, a detail (the file and line of a plan, the value that overflowed, ...).
class RuntimeError : public std::exception {
public:
    explicit RuntimeError(int number, QString detail = {});

    int number() const { return m_number; }
    const QString &detail() const { return m_detail; }
    // "実行時エラー '6':" + newline + the standard message (+ the detail on its own line).
    QString text() const;
    const char *what() const noexcept override { return m_what.c_str(); }

    static QString standardMessage(int number);

private:
    int m_number;
    QString m_detail;
    std::string m_what;
};

} // namespace kivora
