#pragma once
// The recovery phrase on the system clipboard, and off it again: a minute after the copy, when
// the wallet locks and when the program quits, each time only while the clipboard still holds
// exactly that text (whatever the user copied since stays). Only a digest of the text is kept
// to tell. The copy is marked for clipboard managers as a password, which they leave out of
// their history.

#include "platform/Bytes.h"

#include <QObject>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>
#include <chrono>

class QQmlEngine;
class QJSEngine;

namespace qm {

class SecretClipboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    // A copied secret is on the clipboard, to be cleared: what the sheets say beside the copy
    // button.
    Q_PROPERTY(bool holdsSecret READ holdsSecret NOTIFY holdsSecretChanged)

public:
    static constexpr std::chrono::milliseconds defaultClearAfter{60000};

    // No default constructor: QML would make its own instead of asking create().
    explicit SecretClipboard(std::chrono::milliseconds clearAfter, QObject* parent = nullptr);
    ~SecretClipboard() override;

    // The program's own, cleared when it quits as well.
    static SecretClipboard& shared();
    // QML's singleton: the shared one.
    static SecretClipboard* create(QQmlEngine* engine, QJSEngine* script);

    bool holdsSecret() const { return !m_digest.empty(); }
    std::chrono::milliseconds clearAfter() const;

    // Replaces whatever the clipboard held with `text`, then clears it after the interval
    // unless something else was copied meanwhile.
    void put(const QString& text);

public slots:
    // Clears the clipboard now if it still holds the secret put there; forgets it either way.
    void clearIfHeld();

signals:
    void holdsSecretChanged();

private:
    Bytes m_digest;
    QTimer m_timer;
};

} // namespace qm
