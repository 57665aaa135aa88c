#include "ui/theme/SecretClipboard.h"

#include "platform/Crypto.h"
#include "platform/SecureBytes.h"
#include "ui/onboarding/SecretText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QQmlEngine>
#include <string>

namespace qm {
namespace {

// The type KDE's clipboard manager and others read to keep a copy out of their history.
const QString passwordHint = QStringLiteral("x-kde-passwordManagerHint");

Bytes digestOf(const QString& text) {
    std::string utf8 = secretUtf8(text);
    Bytes digest = crypto::sha256(utf8View(utf8));
    wipe(utf8);
    return digest;
}

} // namespace

SecretClipboard::SecretClipboard(std::chrono::milliseconds clearAfter, QObject* parent)
    : QObject(parent) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(clearAfter);
    connect(&m_timer, &QTimer::timeout, this, &SecretClipboard::clearIfHeld);
}

SecretClipboard::~SecretClipboard() = default;

SecretClipboard& SecretClipboard::shared() {
    static QPointer<SecretClipboard> instance;
    if (!instance) {
        instance = new SecretClipboard(defaultClearAfter, QCoreApplication::instance());
        // Whichever way the program quits (the menu, the tray with the window closed): before
        // the platform hands what it still owns to a clipboard manager.
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, instance,
                &SecretClipboard::clearIfHeld);
    }
    return *instance;
}

SecretClipboard* SecretClipboard::create(QQmlEngine*, QJSEngine*) {
    SecretClipboard* instance = &shared();
    QQmlEngine::setObjectOwnership(instance, QQmlEngine::CppOwnership);
    return instance;
}

std::chrono::milliseconds SecretClipboard::clearAfter() const {
    return m_timer.intervalAsDuration();
}

void SecretClipboard::put(const QString& text) {
    auto* data = new QMimeData;
    data->setText(text);
    data->setData(passwordHint, QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    const bool held = holdsSecret();
    wipe(m_digest);
    m_digest = digestOf(text);
    m_timer.start();
    if (!held) {
        emit holdsSecretChanged();
    }
}

void SecretClipboard::clearIfHeld() {
    m_timer.stop();
    if (!holdsSecret()) {
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    QString current = clipboard->text();
    const bool ours = digestOf(current) == m_digest;
    wipeText(current);
    if (ours) {
        clipboard->clear();
    }
    wipe(m_digest);
    emit holdsSecretChanged();
}

} // namespace qm
