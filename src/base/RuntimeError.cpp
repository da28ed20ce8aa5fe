#include "base/RuntimeError.h"

namespace kivora {

RuntimeError::RuntimeError(int number, QString detail) : m_number(number), m_detail(std::move(detail)) {
    m_what = text().toStdString();
}

QString RuntimeError::standardMessage(int number) {
    switch (number) {
    case ErrOverflow:
        return u"オーバーフローしました。"_qs;
    case ErrSubscript:
        return u"インデックスが有効範囲にありません。"_qs;
    case ErrTypeMismatch:
        return u"型が一致しません。"_qs;
    case ErrFileNotFound:
        return u"ファイルが見つかりません。"_qs;
    case ErrFileAlreadyExists:
        return u"既に同名のファイルが存在しています。"_qs;
    case ErrInputPastEnd:
        return u"ファイルにこれ以上データがありません。"_qs;
    case ErrPermissionDenied:
        return u"書き込みできません。"_qs;
    case ErrPathFileAccess:
        return u"パス名が無効です。"_qs;
    case ErrPathNotFound:
        return u"パスが見つかりません。"_qs;
    case ErrControlArray:
        return u"コントロール配列の要素が存在しません。"_qs;
    case ErrInvalidProperty:
        return u"プロパティの値が不正です。"_qs;
    case ErrPrinter:
        return u"プリンタ エラーです。"_qs;
    case ErrImageIndex:
        return u"インデックスが範囲を超えています。"_qs;
    case ErrImageKey:
        return u"要素が見つかりません。"_qs;
    default:
        return u"アプリケーション定義またはオブジェクト定義のエラーです。"_qs;
    }
}

QString RuntimeError::text() const {
    QString t = u"実行時エラー '%1':\n\n%2"_qs.arg(m_number).arg(standardMessage(m_number));
    if (!m_detail.isEmpty())
        t += u"\n"_qs + m_detail;
    return t;
}

} // namespace kivora
