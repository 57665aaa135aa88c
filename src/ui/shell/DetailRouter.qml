import QtQuick
import Quillmark.Ui

// The selected account's detail, or the portfolio when no account is selected. Returning to
// the portfolio builds it anew, with a new refresh view model.
Loader {
    id: root
    readonly property string route: WalletShell.hasSelectedAccount ? "account" : "portfolio"
    sourceComponent: WalletShell.hasSelectedAccount ? accountDetail : portfolio

    Component { id: accountDetail; AccountDetailView {} }
    Component { id: portfolio; PortfolioView {} }
}
