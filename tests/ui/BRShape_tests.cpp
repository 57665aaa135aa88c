// Coin discs on a sheet that is closed and opened again, the theme switched in between, as the
// swap's token picker is: every opening draws every disc, and none crashes the scene graph. A
// closed sheet leaves the window and the scene graph deletes its shapes' nodes; the opening
// makes new ones, which the allocator (with AddressSanitizer's quarantine off, see
// CMakeLists.txt) often places where the old ones were.

#include "ui/theme/BRThemeManager.h"
#include "ui/theme/WindowRendering.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <gtest/gtest.h>
#include <memory>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm {
namespace {

// A sheet of both kinds of disc on a background no disc has (magenta), over an empty window.
const char* const sheetWindow = R"(
import QtQuick
import QtQuick.Controls
import Quillmark.Ui
Window {
    width: 400; height: 120; visible: true; color: "white"
    property alias sheet: sheet
    BRSheet {
        id: sheet
        width: 380; height: 60
        background: Rectangle { color: "#ff00ff" }
        contentItem: Row {
            Repeater {
                model: ["ETH", "USDC", "DAI", "WBTC"]
                TokenDiscIcon { required property string modelData; symbol: modelData; size: 40 }
            }
            Repeater {
                model: 4
                ChainDiscIcon { required property int index; chain: index; size: 40 }
            }
        }
    }
}
)";

// How many of the sheet's discs show their body: the pixel left of each disc's symbol is not the
// sheet's background.
int drawnDiscs(QQuickWindow& window, QQuickItem& sheetContent) {
    const QImage shot = window.grabWindow();
    const QList<QQuickItem*> discs = sheetContent.childItems();
    int drawn = 0;
    for (QQuickItem* disc : discs) {
        if (disc->width() <= 0) {
            continue; // a Repeater
        }
        const QPointF probe = disc->mapToScene(QPointF(disc->width() * 0.2, disc->height() / 2));
        if (shot.pixelColor(probe.toPoint()) != QColor(0xff, 0x00, 0xff)) {
            ++drawn;
        }
    }
    return drawn;
}

TEST(BRShape, DiscsOfASheetOpenedAgainAcrossThemesAllDraw) {
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine);
    component.setData(sheetWindow, QUrl(QStringLiteral("qrc:/brshape-test.qml")));
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* window = qobject_cast<QQuickWindow*>(root.get());
    ASSERT_TRUE(window);
    auto* sheet = root->property("sheet").value<QObject*>();
    ASSERT_TRUE(sheet);
    auto* content = sheet->property("contentItem").value<QQuickItem*>();
    ASSERT_TRUE(content);
    BRThemeManager& themes = BRThemeManager::shared();
    const QStringList names = themes.themeNames();
    ASSERT_EQ(names.size(), 2);

    for (int round = 0; round < 300; ++round) {
        themes.setCurrentName(names.at(round % 2));
        QMetaObject::invokeMethod(sheet, "open");
        ASSERT_TRUE(sheet->property("opened").toBool()); // the sheet has no enter transition
        // Each grab syncs the scene graph: the first makes the discs' nodes, the second
        // updates them once their layers have drawn.
        window->grabWindow();
        ASSERT_EQ(drawnDiscs(*window, *content), 8) << "round " << round;
        QMetaObject::invokeMethod(sheet, "close");
        ASSERT_FALSE(sheet->property("visible").toBool());
        window->grabWindow(); // the closed sheet's nodes are deleted
    }
}

// A view that drew with Qt Quick's own Shape would crash the same way.
TEST(BRShape, NoViewDrawsWithQtQuicksOwnShape) {
    const QDir views(qEnvironmentVariable("QM_SOURCE_DIR") + QStringLiteral("/src/ui"));
    ASSERT_TRUE(views.exists()) << views.path().toStdString();
    const QRegularExpression plainShape(QStringLiteral("(^|[^A-Za-z0-9_])Shape\\s*\\{"));
    int files = 0;
    QDirIterator it(views.path(), {QStringLiteral("*.qml")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        ++files;
        const QString text = QString::fromUtf8(file.readAll());
        EXPECT_FALSE(plainShape.match(text).hasMatch()) << file.fileName().toStdString();
    }
    EXPECT_GT(files, 0);
}

} // namespace
} // namespace qm

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    // The theme is stored in the user defaults: keep them out of the user's own.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    qm::configureWindowRendering(); // drawn as the program draws it
    return RUN_ALL_TESTS();
}
