// The 56 stimulus pictures drawn again and again: the 54 shapes alone (start-up draws them on a
// thread of its own while Qt connects to the display), the two text screens that complete the
// store once the fonts are there, and the whole store as the main window makes it. Prints the
// median and the slowest of each over the repetitions; printed, not judged. Run through
// bench/pictures.
#include "base/Fonts.h"
#include "stimuli/PictureStore.h"

#include <QElapsedTimer>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds, sorted.
struct Times {
    std::vector<double> ms;
    void add(const QElapsedTimer &timer) { ms.push_back(double(timer.nsecsElapsed()) / 1e6); }
    void print(const char *what) {
        std::sort(ms.begin(), ms.end());
        std::printf("%-46s median %8.2f ms   slowest %8.2f ms\n", what, ms[ms.size() / 2], ms.back());
    }
};

} // namespace

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    kivora::installFontSubstitutes();
    const int repeats = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 20;

    Times shapes, screens, store;
    int pictures = 0;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer timer;
        timer.start();
        kivora::PictureStore::Shapes drawn = kivora::PictureStore::drawShapes();
        shapes.add(timer);

        timer.restart();
        const kivora::PictureStore completed(std::move(drawn));
        screens.add(timer);

        timer.restart();
        const kivora::PictureStore whole;
        store.add(timer);

        pictures = 0;
        for (int list = 0; list < kivora::PictureStore::ListCount; ++list)
            pictures += whole[list].count();
    }

    std::printf("%d pictures, %d repetitions\n", pictures, repeats);
    shapes.print("the shapes (arrows and letters)");
    screens.print("the text screens completing the store");
    store.print("the whole store, as the main window makes it");
    return 0;
}
