#include "session/Study.h"

#include <QCoreApplication>
#include <cmath>

namespace kivora {

namespace studytext {

QStringList practiceIntro() {
    return {
        QCoreApplication::translate("Study", "これから練習をします。"),
        QCoreApplication::translate("Study", "元のままなら 1 のキー、裏返しなら 2 のキーを押してください。"),
        QCoreApplication::translate("Study", "スペースキーを押すと始まります。")};
}

QStringList practiceAgain(int percent) {
    return {QCoreApplication::translate("Study", "正答率 %1 %。").arg(percent),
            QCoreApplication::translate("Study", "もう一度練習します。"),
            QCoreApplication::translate("Study", "スペースキーを押すと始まります。")};
}

QStringList practiceDone() {
    return {QCoreApplication::translate("Study", "練習は終わりです。"),
            QCoreApplication::translate("Study", "スペースキーを押すと本番が始まります。")};
}

QStringList pause(int done, int total) {
    return {QCoreApplication::translate("Study", "休憩です。"),
            QCoreApplication::translate("Study", "%1 / %2 問終わりました。").arg(done).arg(total),
            QCoreApplication::translate("Study", "準備ができたらスペースキーを押してください。")};
}

QString feedback(bool correct, qint32 rtMs) {
    return (correct ? QCoreApplication::translate("Study", "正解　%1 ミリ秒")
                    : QCoreApplication::translate("Study", "不正解　%1 ミリ秒"))
        .arg(rtMs);
}

} // namespace studytext

int percentCorrect(int correct, int trials) {
    if (trials <= 0)
        return 0;
    return int(std::nearbyint(100.0 * correct / trials)); // the default rounding: halves to even
}

} // namespace kivora
