// Screen grabber of the screenshot test (driven by screenshots.py under Xvfb):
//   ShellScreens grab OUT.png        saves the whole screen and prints its distinct colours
//   ShellScreens portfolio OUT-DIR   the unlocked window with holdings, both themes, checked

#include "PortfolioWindowShots.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QSet>
#include <cstdio>

namespace {

int grabScreen(const QString& out) {
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    if (image.isNull() || !image.save(out)) {
        std::fputs("could not grab the screen\n", stderr);
        return 1;
    }
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3) {
            colours.insert(image.pixel(x, y));
        }
    }
    std::printf("colours %d\n", static_cast<int>(colours.size()));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const QStringList args = application.arguments();
    if (args.size() == 3 && args[1] == QStringLiteral("grab")) {
        return grabScreen(args[2]);
    }
    if (args.size() == 3 && args[1] == QStringLiteral("portfolio")) {
        return qm::test::portfolioWindowShots(application, args[2]);
    }
    std::fputs("usage: ShellScreens grab OUT.png | ShellScreens portfolio OUT-DIR\n", stderr);
    return 1;
}
