import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// Placeholder for the portfolio until it is built; it already owns its refresh view model.
Item {
    id: root
    objectName: "portfolioView"
    WalletViewModel { id: walletVM }

    ColumnLayout {
        anchors.centerIn: parent
        spacing: 16
        PlaceholderScreen {
            Layout.alignment: Qt.AlignHCenter
            screenName: "Portfolio"
            note: "Portfolio placeholder: balances and charts are not built yet."
        }
        BRPrimaryButton {
            Layout.alignment: Qt.AlignHCenter
            text: walletVM.isRefreshing ? "Refreshing..." : "Refresh"
            enabled: !walletVM.isRefreshing
            onClicked: walletVM.startRefresh()
        }
    }
}
