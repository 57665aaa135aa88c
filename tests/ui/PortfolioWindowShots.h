#pragma once
// The screenshot run of the unlocked window (ShellScreens portfolio OUT-DIR, under Xvfb).

#include <QString>

class QApplication;

namespace qm::test {

// Shows the program's window over a wallet unlocked on loopback fixtures, with balances and
// tokens on every chain and a refresh running, and saves it in both themes to `outDir`. It
// checks what a user would see there: the portfolio, every chain disc with its glyph, and the
// refresh's busy indicator. Returns the process status (1 on a failed check).
int portfolioWindowShots(QApplication& application, const QString& outDir);

} // namespace qm::test
