#include "ui/theme/PasswordEntry.h"

#include <QByteArray>
#include <QMetaObject>
#include <QVariant>
#include <utility>

namespace qm {

PasswordEntry::PasswordEntry(QObject* parent) : QObject(parent) {}

PasswordEntry::~PasswordEntry() {
    wipe();
}

void PasswordEntry::setField(QObject* field) {
    if (field == m_field) {
        return;
    }
    disconnect(m_edits);
    m_field = field;
    if (field) {
        // By name: the field is a TextInput, one of Qt Quick's private classes. Only the
        // user's edits come here, not a clear() or a value a binding sets.
        m_edits = connect(field, SIGNAL(textEdited()), this, SLOT(readField()));
    }
    emit fieldChanged();
}

void PasswordEntry::setText(const QString& text) {
    store(text);
}

std::string_view PasswordEntry::utf8() const {
    return {reinterpret_cast<const char*>(m_utf8.data()), m_utf8.size()};
}

void PasswordEntry::store(const QString& text) {
    const bool had = hasPassword();
    QByteArray utf8 = text.toUtf8();
    m_utf8 = SecureBytes(ByteView(reinterpret_cast<const std::uint8_t*>(utf8.constData()),
                                  static_cast<std::size_t>(utf8.size())));
    if (!utf8.isEmpty()) {
        qm::wipe(utf8.data(), static_cast<std::size_t>(utf8.size()));
    }
    if (had != hasPassword()) {
        emit passwordChanged();
    }
    emit textChanged();
}

void PasswordEntry::readField() {
    if (!m_field) {
        return;
    }
    // Shares the field's buffer (no copy) and lets go of it at once: the field then edits
    // its own buffer in place.
    store(m_field->property("text").toString());
}

void PasswordEntry::setBusy(bool busy) {
    if (m_busy != busy) {
        m_busy = busy;
        emit busyChanged();
    }
}

void PasswordEntry::setErrorMessage(std::optional<QString> message) {
    if (m_errorMessage != message) {
        m_errorMessage = std::move(message);
        emit errorMessageChanged();
    }
}

void PasswordEntry::beginAttempt() {
    setBusy(true);
    setErrorMessage(std::nullopt);
}

void PasswordEntry::wipe() {
    if (m_field) {
        wipeField(m_field);
    }
    const bool had = hasPassword();
    m_utf8.clear();
    if (had) {
        emit passwordChanged();
        emit textChanged();
    }
}

void PasswordEntry::wipeField(QObject* field) {
    if (!field) {
        return;
    }
    {
        QString text = field->property("text").toString();
        if (text.capacity() > 0) {
            // The field's text shares this buffer: overwriting it through the shared pointer is
            // the point (a write through the QString would detach and wipe only a copy). The
            // whole allocation, so that characters deleted while typing go too.
            qm::wipe(const_cast<QChar*>(text.constData()),
                     static_cast<std::size_t>(text.capacity()) * sizeof(QChar));
        }
    }
    QMetaObject::invokeMethod(field, "clear");
}

} // namespace qm
