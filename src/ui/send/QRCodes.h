#pragma once
// The QML side of QR codes: the image source of a text. Created once per engine, it installs
// the engine's QR code image provider, so any view can show a code without set-up.

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;
class QJSEngine;

namespace qm {

class QRCodes : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    // Qt 6.4 prefers a default constructor to the factory: there is none, so the factory runs.
    static QRCodes* create(QQmlEngine* engine, QJSEngine* script);

    // "image://qrcode/..." for `text`; empty for an empty text.
    Q_INVOKABLE QString source(const QString& text) const;

private:
    explicit QRCodes(QQmlEngine* engine);
};

} // namespace qm
