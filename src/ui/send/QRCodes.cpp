#include "ui/send/QRCodes.h"

#include "ui/send/QRCodeImageProvider.h"

#include <QQmlEngine>

namespace qm {

QRCodes::QRCodes(QQmlEngine* engine) {
    const QString id = QLatin1String(QRCodeImageProvider::providerId);
    if (engine && !engine->imageProvider(id)) {
        engine->addImageProvider(id, new QRCodeImageProvider); // the engine owns it
    }
}

QRCodes* QRCodes::create(QQmlEngine* engine, QJSEngine* /*script*/) {
    return new QRCodes(engine);
}

QString QRCodes::source(const QString& text) const {
    return text.isEmpty() ? QString() : QRCodeImageProvider::sourceFor(text);
}

} // namespace qm
