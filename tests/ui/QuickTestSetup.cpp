#include "QuickTestSetup.h"

#include "TextExposure.h"
#include "ui/shell/WalletShell.h"
#include "ui/theme/BRFont.h"
#include "ui/theme/ButtonKeys.h"
#include "ui/theme/KeyboardFocus.h"
#include "ui/theme/WindowRendering.h"

#include <QAccessible>
#include <QDir>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(Quillmark_UiPlugin)

namespace qm::test {

QString QuickFixture::screenshotPath(const QString& name) const {
    const QString folder = qEnvironmentVariable("QM_BUILD_DIR") + "/tests/ui/screenshots";
    QDir().mkpath(folder);
    return folder + '/' + name;
}

QVariantMap QuickFixture::accessibility(QObject* object) const {
    QAccessibleInterface* iface = accessibleNode(object);
    if (!iface) {
        return {};
    }
    QAccessibleActionInterface* actions = iface->actionInterface();
    QAccessibleTextInterface* text = iface->textInterface();
    return {{QStringLiteral("name"), iface->text(QAccessible::Name)},
            {QStringLiteral("role"), static_cast<int>(iface->role())},
            {QStringLiteral("enabled"), !iface->state().disabled},
            {QStringLiteral("showing"), !iface->state().invisible},
            {QStringLiteral("text"), text ? text->text(0, text->characterCount()) : QString()},
            {QStringLiteral("value"), iface->text(QAccessible::Value)},
            {QStringLiteral("actions"), actions ? actions->actionNames() : QStringList()}};
}

namespace {

bool isControl(QAccessible::Role role) {
    switch (role) {
    case QAccessible::Button:
    case QAccessible::CheckBox:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Link:
    case QAccessible::PageTab:
    case QAccessible::RadioButton:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
        return true;
    default:
        return false;
    }
}

void collectUnnamed(QQuickItem* item, QStringList& out) {
    if (!item->isVisible()) {
        return;
    }
    if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(item);
        iface && isControl(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty()) {
        out.append(item->objectName().isEmpty()
                       ? QString::fromLatin1(item->metaObject()->className())
                       : item->objectName());
    }
    for (QQuickItem* child : item->childItems()) {
        collectUnnamed(child, out);
    }
}

} // namespace

QStringList QuickFixture::unnamedControls(QQuickItem* root) const {
    QStringList unnamed;
    if (!root) {
        return unnamed;
    }
    collectUnnamed(root, unnamed);
    // Popups and sheets live in the window's overlay, beside the content.
    if (QQuickWindow* window = root->window(); window && root != window->contentItem()) {
        for (QQuickItem* layer : window->contentItem()->childItems()) {
            if (layer->metaObject()->className() == QByteArrayLiteral("QQuickOverlay")) {
                collectUnnamed(layer, unnamed);
            }
        }
    }
    return unnamed;
}

QStringList QuickFixture::unexposedTexts(QQuickItem* item) const {
    return item ? qm::test::unexposedTexts(item->window()) : QStringList();
}

QuickTestSetup::QuickTestSetup() {
    qputenv("XDG_CONFIG_HOME", m_config.path().toUtf8());
}

QuickTestSetup::~QuickTestSetup() = default;

void QuickTestSetup::prepareApplication(const QLocale& locale) {
    QLocale::setDefault(locale);
    BRFont::loadBundledFonts();
    configureWindowRendering();
    readLikeAScreenReader();
    installButtonKeys();
    KeyboardFocus::shared(); // watching every press from the first window on
}

void QuickTestSetup::show(QObject* fixture, AppState& state) {
    m_fixture = fixture;
    WalletShell::install(&state);
}

void QuickTestSetup::qmlEngineAvailable(QQmlEngine* engine) {
    engine->addImportPath(QStringLiteral("qrc:/"));
    engine->rootContext()->setContextProperty(QStringLiteral("fixture"), m_fixture);
}

void QuickTestSetup::cleanupTestCase() {
    WalletShell::install(nullptr);
}

} // namespace qm::test
