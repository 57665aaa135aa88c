#include "PortfolioWindowShots.h"

#include "AppStateFixture.h"
#include "PortfolioHoldings.h"
#include "UnlockedWindow.h"
#include "app/QuillmarkApp.h"
#include "ui/theme/BRThemeManager.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QStringList>
#include <cstdio>
#include <vector>

namespace qm::test {
namespace {

QRectF sceneRect(const QQuickItem* item) {
    return item->mapRectToScene(item->boundingRect());
}

// Drawn, inside the window and inside every clipping ancestor (a row scrolled out of a list
// is not on screen).
bool onScreen(const QQuickItem* item, const QQuickWindow& window) {
    if (!item->isVisible() || item->opacity() <= 0) {
        return false;
    }
    const QRectF rect = sceneRect(item);
    if (!QRectF(0, 0, window.width(), window.height()).contains(rect)) {
        return false;
    }
    for (const QQuickItem* parent = item->parentItem(); parent; parent = parent->parentItem()) {
        if (parent->clip() && !parent->mapRectToScene(parent->clipRect()).contains(rect)) {
            return false;
        }
    }
    return true;
}

// The items whose QML type or object name is `name`.
void collect(QQuickItem* item, const QString& name, std::vector<QQuickItem*>& found) {
    if (QString::fromLatin1(item->metaObject()->className()).startsWith(name + '_') ||
        item->objectName() == name) {
        found.push_back(item);
    }
    for (QQuickItem* child : item->childItems()) {
        collect(child, name, found);
    }
}

std::vector<QQuickItem*> shown(const QQuickWindow& window, const QString& name) {
    std::vector<QQuickItem*> all;
    collect(window.contentItem(), name, all);
    std::vector<QQuickItem*> result;
    for (QQuickItem* item : all) {
        if (onScreen(item, window)) {
            result.push_back(item);
        }
    }
    return result;
}

// Pixels of `rect` within `tolerance` of `colour` in every channel.
int pixelsNear(const QImage& image, const QRectF& rect, QColor colour, int tolerance) {
    int count = 0;
    const QRect area = rect.toAlignedRect().intersected(image.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) <= tolerance &&
                std::abs(pixel.green() - colour.green()) <= tolerance &&
                std::abs(pixel.blue() - colour.blue()) <= tolerance) {
                ++count;
            }
        }
    }
    return count;
}

// What is wrong with the grab `image` of `window`; nothing when all is seen.
QStringList checkWindow(const QQuickWindow& window, const QImage& image) {
    QStringList failures;
    const qreal ratio = image.devicePixelRatio();
    const auto scaled = [ratio](QRectF rect) {
        return QRectF(rect.topLeft() * ratio, rect.size() * ratio);
    };
    const std::vector<QQuickItem*> router = shown(window, QStringLiteral("detailRouter"));
    if (router.size() != 1 ||
        router.front()->property("route").toString() != QStringLiteral("portfolio")) {
        failures << QStringLiteral("the detail area does not show the portfolio");
    }
    // The wallet's accounts and their tokens, not an empty portfolio.
    if (shown(window, QStringLiteral("AssetRow")).empty() ||
        shown(window, QStringLiteral("TokenCard")).empty()) {
        failures << QStringLiteral("no account row or no token row on screen");
    }
    // Every chain disc on screen shows its glyph in the chain's colour: the glyph's middle
    // holds pixels of that colour, which the dark disc alone never has.
    const std::vector<QQuickItem*> discs = shown(window, QStringLiteral("ChainDiscIcon"));
    if (discs.size() < 6) {
        failures << QStringLiteral("%1 chain discs on screen").arg(discs.size());
    }
    for (const QQuickItem* disc : discs) {
        const QColor colour = disc->property("color").value<QColor>();
        const QRectF rect = sceneRect(disc);
        const QRectF middle(rect.center() - QPointF(rect.width() / 4, rect.height() / 4),
                            rect.size() / 2);
        if (pixelsNear(image, scaled(middle), colour, 40) < 3) {
            failures
                << QStringLiteral("the disc at %1,%2 shows no glyph").arg(rect.x()).arg(rect.y());
        }
    }
    // The refresh's busy indicator: running, on screen, and standing out from the bar.
    const std::vector<QQuickItem*> spinners = shown(window, QStringLiteral("refreshSpinner"));
    bool seen = false;
    for (const QQuickItem* spinner : spinners) {
        if (spinner->property("running").toBool()) {
            // Pixels that differ from the bar's colour at the indicator's corner.
            const QRectF rect = scaled(sceneRect(spinner));
            const QRect area = rect.toAlignedRect().intersected(image.rect());
            const QColor bar = image.pixelColor(area.topLeft());
            seen = area.width() * area.height() - pixelsNear(image, rect, bar, 24) >= 4;
        }
    }
    if (!seen) {
        failures << QStringLiteral("no busy indicator to be seen in the status bar");
    }
    return failures;
}

} // namespace

int portfolioWindowShots(QApplication& application, const QString& outDir) {
    QuillmarkApp::configure(application);
    AppStateFixture env;
    AppState& state = env.state();
    bool failed = false;
    const auto fail = [&failed](const QString& what) {
        std::printf("FAIL: %s\n", qPrintable(what));
        failed = true;
    };
    {
        const UnlockedWindow unlocked(env);
        QQuickWindow* window = unlocked.window();
        if (!window) {
            fail(QStringLiteral("the window could not be built"));
            return 1;
        }
        // What a refresh leaves, and a refresh still running.
        giveHoldings(state, 3);
        state.setIsRefreshing(true);

        QDir().mkpath(outDir);
        std::vector<QImage> shots;
        for (const BRTheme theme : {BRTheme::appleBlue, BRTheme::dollarGreen}) {
            BRThemeManager::shared().setCurrent(theme);
            const QString name = BRThemeManager::shared().currentName();
            // What the display shows (a grab of the scene would draw it anew, without the
            // state of animations that run beside it), once all is there: the first frames
            // under software GL and the indicator's fade-in take their time on a busy machine.
            QImage image;
            QStringList failures;
            for (int attempt = 0; attempt < 20 && (attempt == 0 || !failures.isEmpty());
                 ++attempt) {
                spin(500);
                image = window->screen()->grabWindow(window->winId()).toImage();
                failures = image.isNull() ? QStringList{QStringLiteral("no grab")}
                                          : checkWindow(*window, image);
            }
            for (const QString& failure : failures) {
                fail(name + QStringLiteral(": ") + failure);
            }
            const QString file = outDir + QStringLiteral("/window-portfolio-") +
                                 name.toLower().replace(' ', '-') + QStringLiteral(".png");
            if (image.isNull() || !image.save(file)) {
                fail(name + QStringLiteral(": the window could not be saved"));
                continue;
            }
            shots.push_back(image);
            std::printf("%s\n", qPrintable(file));
        }
        if (shots.size() == 2 && shots[0] == shots[1]) {
            fail(QStringLiteral("the two themes look the same"));
        }
        BRThemeManager::shared().setCurrent(BRTheme::appleBlue);
        state.setIsRefreshing(false);
    }
    return failed ? 1 : 0;
}

} // namespace qm::test
