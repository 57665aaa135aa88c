import QtQuick
import Quillmark.Ui

// The selected account's detail, or the portfolio when no account is selected. Returning to
// the portfolio builds it anew, with a new refresh view model.
Loader {
    id: root
    readonly property string route: WalletShell.hasSelectedAccount ? "account" : "portfolio"
    // From their files, loaded when shown: a window that opens on the portfolio does not load
    // the account screen's types (its sheets among them) before its first frame.
    source: WalletShell.hasSelectedAccount ? "../portfolio/AccountDetailView.qml"
                                           : "../portfolio/PortfolioView.qml"
}
