#include "session/Study.h"

#include <cmath>

namespace kivora {

namespace studytext {

QStringList practiceIntro() {
    return {u"これから練習をします。"_qs, u"元のままなら 1 のキー、裏返しなら 2 のキーを押してください。"_qs,
            u"スペースキーを押すと始まります。"_qs};
}

QStringList practiceAgain(int percent) {
    return {u"正答率 %1 %。"_qs.arg(percent), u"もう一度練習します。"_qs,
            u"スペースキーを押すと始まります。"_qs};
}

QStringList practiceDone() {
    return {u"練習は終わりです。"_qs, u"スペースキーを押すと本番が始まります。"_qs};
}

QStringList pause(int done, int total) {
    return {u"休憩です。"_qs, u"%1 / %2 問終わりました。"_qs.arg(done).arg(total),
            u"準備ができたらスペースキーを押してください。"_qs};
}

QString feedback(bool correct, qint32 rtMs) {
    return (correct ? u"正解"_qs : u"不正解"_qs) + u"　%1 ミリ秒"_qs.arg(rtMs);
}

} // namespace studytext

int percentCorrect(int correct, int trials) {
    if (trials <= 0)
        return 0;
    return int(std::nearbyint(100.0 * correct / trials)); // the default rounding: halves to even
}

} // namespace kivora
