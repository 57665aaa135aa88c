import QtQuick
import Quillmark.Ui

// The three WalletConnect sheets of the main window, each shown while its flag in the view
// model says so. A sheet closed otherwise (Escape) answers what it showed: the pairing is
// cancelled, the proposal or request rejected (unless its answer is already on its way).
Item {
    id: root
    readonly property var vm: WalletShell.walletConnect

    function sync(sheet, shown) {
        if (shown && !sheet.opened)
            sheet.open()
        else if (!shown && sheet.visible)
            sheet.close()
    }

    WCPairSheet {
        id: pairSheet
        onClosed: if (root.vm.showPairSheet) root.vm.cancelPairing()
    }
    WCProposalSheet {
        id: proposalSheet
        onClosed: if (root.vm.showProposalSheet) root.vm.dismissProposal()
    }
    WCRequestSheet {
        id: requestSheet
        onClosed: if (root.vm.showRequestSheet) root.vm.dismissRequest()
    }
    Connections {
        target: root.vm
        function onPairChanged() { root.sync(pairSheet, root.vm.showPairSheet) }
        function onProposalChanged() { root.sync(proposalSheet, root.vm.showProposalSheet) }
        function onRequestChanged() { root.sync(requestSheet, root.vm.showRequestSheet) }
    }
    Component.onCompleted: {
        sync(pairSheet, vm.showPairSheet)
        sync(proposalSheet, vm.showProposalSheet)
        sync(requestSheet, vm.showRequestSheet)
    }
}
