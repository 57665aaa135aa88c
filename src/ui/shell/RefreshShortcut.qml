import QtQuick
import Quillmark.Ui

// F5, the window's refresh key on the portfolio and the account screens: a full refresh
// through `model`, unless the one it started still runs.
Shortcut {
    property WalletViewModel model
    sequence: "F5"
    enabled: model !== null && !model.isRefreshing
    onActivated: model.startRefresh()
}
