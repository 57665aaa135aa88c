#pragma once
// An amount the user typed into a form, read exactly with the user's decimal separator: a
// point always, and a comma where the user's locale writes one as its decimal point (de_DE,
// it_IT). Elsewhere a comma stays the parser's refusal, "Use a point as the decimal
// separator", so a thousands comma is never read as a decimal point.

#include "core/model/Amount.h"

#include <QLocale>
#include <QString>

namespace qm {

// Amount::parse of `text` with `decimals`, after a "," becomes "." when `locale` writes "," as
// its decimal point; throws AmountError as Amount::parse does ("1.000,5" is still not a number).
Amount parseTypedAmount(const QString& text, unsigned decimals, const QLocale& locale = QLocale());

} // namespace qm
