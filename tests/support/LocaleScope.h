#pragma once
// A default locale for the length of a scope: texts formatted as under `name`, the previous
// default back at the end (tests in one process share it).

#include <QLocale>
#include <QString>

namespace qm::test {

class LocaleScope {
public:
    explicit LocaleScope(const char* name) {
        QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    }
    ~LocaleScope() { QLocale::setDefault(m_previous); }
    LocaleScope(const LocaleScope&) = delete;
    LocaleScope& operator=(const LocaleScope&) = delete;

private:
    QLocale m_previous;
};

} // namespace qm::test
