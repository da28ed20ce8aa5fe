#include "base/RuntimeError.h"

#include <QCoreApplication>

namespace kivora {

RuntimeError::RuntimeError(int number, QString detail) : m_number(number), m_detail(std::move(detail)) {
    m_what = text().toStdString();
}

QString RuntimeError::standardMessage(int number) {
    switch (number) {
    case ErrOverflow:
        return QCoreApplication::translate("RuntimeError", "オーバーフローしました。");
    case ErrSubscript:
        return QCoreApplication::translate("RuntimeError", "インデックスが有効範囲にありません。");
    case ErrTypeMismatch:
        return QCoreApplication::translate("RuntimeError", "型が一致しません。");
    case ErrFileNotFound:
        return QCoreApplication::translate("RuntimeError", "ファイルが見つかりません。");
    case ErrFileAlreadyExists:
        return QCoreApplication::translate("RuntimeError", "既に同名のファイルが存在しています。");
    case ErrInputPastEnd:
        return QCoreApplication::translate("RuntimeError", "ファイルにこれ以上データがありません。");
    case ErrPermissionDenied:
        return QCoreApplication::translate("RuntimeError", "書き込みできません。");
    case ErrPathFileAccess:
        return QCoreApplication::translate("RuntimeError", "パス名が無効です。");
    case ErrPathNotFound:
        return QCoreApplication::translate("RuntimeError", "パスが見つかりません。");
    case ErrControlArray:
        return QCoreApplication::translate("RuntimeError", "コントロール配列の要素が存在しません。");
    case ErrInvalidProperty:
        return QCoreApplication::translate("RuntimeError", "プロパティの値が不正です。");
    case ErrPrinter:
        return QCoreApplication::translate("RuntimeError", "プリンタ エラーです。");
    case ErrImageIndex:
        return QCoreApplication::translate("RuntimeError", "インデックスが範囲を超えています。");
    case ErrImageKey:
        return QCoreApplication::translate("RuntimeError", "要素が見つかりません。");
    default:
        return QCoreApplication::translate("RuntimeError",
                                           "アプリケーション定義またはオブジェクト定義のエラーです。");
    }
}

QString RuntimeError::text() const {
    QString t = QCoreApplication::translate("RuntimeError", "実行時エラー '%1':\n\n%2")
                    .arg(m_number)
                    .arg(standardMessage(m_number));
    if (!m_detail.isEmpty())
        t += u"\n"_qs + m_detail;
    return t;
}

} // namespace kivora
