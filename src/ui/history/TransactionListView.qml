import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// An account's history as the one scrolling list of its screen: the screen's own content
// (`screenHeader`) on top, then "Transactions" with the count, then one row per entry, built
// only while in view. Without entries, the empty note instead (while the first load runs, that
// it is loading). A row opens its detail sheet with a copy of the entry.
ListView {
    id: root
    objectName: "transactionList"
    property Component screenHeader
    // False: the list shows the screen's content alone (the Bitcoin address tab).
    property bool showsHistory: true
    property string emptyNote: "Transactions will appear here once you send or receive funds."
    readonly property alias history: history
    readonly property alias detailSheet: sheet
    // What the last load could not load, said over the rows or in place of the empty note.
    readonly property string loadNote: history.loadFailed ? "Could not load the transactions."
                                       : history.loadIncomplete
                                         ? "Could not load the older transactions." : ""

    TransactionListModel {
        id: history
        active: root.showsHistory
    }

    // Opens the detail sheet on a copy of the entry at `row`.
    function openDetail(row) {
        const detail = history.detail(row)
        if (detail)
            sheet.show(detail)
    }

    // What is in view stays in view while the screen's content above the rows grows or
    // shrinks (the chart, the token list, the history's notes as their loads end): the part of
    // the screen at the view's top edge, and how far into it, is kept there. Left alone, a
    // ListView without rows goes back to its top at every change of its header, and one with
    // rows keeps the rows but shifts everything above them. A view at its top stays at the top;
    // only another account's screen opens at its top by itself.
    property string anchor: "top" // "top", "rows" (below the screen's content) or "section"
    property Item anchorSection: null
    property real anchorOffset: 0
    property real anchoredHeaderHeight: -1
    property bool anchorPending: false
    readonly property bool followsTop: anchor === "top"

    // The parts above the rows, top to bottom: the screen's sections, then the history's title,
    // notes and forms.
    function sections() {
        const out = []
        const parts = headerItem ? headerItem.children : []
        for (let i = 0; i < parts.length; ++i) {
            const part = parts[i]
            const inner = part.objectName === "screenContent" && part.item ? part.item.children
                                                                           : [part]
            for (let j = 0; j < inner.length; ++j)
                if (inner[j].visible && inner[j].height > 0)
                    out.push(inner[j])
        }
        return out
    }
    function recordAnchor() {
        if (!headerItem)
            return
        anchoredHeaderHeight = headerItem.height
        anchorSection = null
        if (atYBeginning) {
            anchor = "top"
            return
        }
        const edge = contentY
        let found = null
        let foundY = 0
        const all = sections()
        for (let i = 0; i < all.length; ++i) {
            const y = all[i].mapToItem(contentItem, 0, 0).y
            if (y <= edge && (found === null || y >= foundY)) {
                found = all[i]
                foundY = y
            }
        }
        if (found === null || edge >= headerItem.y + headerItem.height) {
            anchor = "rows" // the ListView keeps its rows in place by itself
            return
        }
        anchor = "section"
        anchorSection = found
        anchorOffset = edge - foundY
    }
    // positionViewAtBeginning() does nothing without rows.
    function toTop() {
        if (count > 0)
            positionViewAtBeginning()
        else
            contentY = originY
    }
    function keepAnchor() {
        if (!anchorPending)
            return
        anchorPending = false
        // A part that went away (the chart behind the Bitcoin address tab) leaves nothing to
        // keep: the screen shows from its top.
        const gone = anchor === "section" && !(anchorSection && anchorSection.visible)
        if (anchor === "top" || gone) {
            toTop()
        } else if (anchor === "section") {
            const y = anchorSection.mapToItem(contentItem, 0, 0).y + anchorOffset
            contentY = Math.max(originY, Math.min(y, originY + Math.max(0, contentHeight - height)))
        }
        recordAnchor()
    }
    // Only the user's scrolling moves the anchor, and it wins over a pending one: not the list's
    // own moves while its header changes height.
    onContentYChanged: {
        if (!headerItem)
            return
        if (moving) {
            anchorPending = false
            recordAnchor()
        } else if (!anchorPending && headerItem.height === anchoredHeaderHeight) {
            recordAnchor()
        }
    }
    // Put back once the frame's layout is done and before it is drawn, so that no frame shows
    // the move; the header's later call does it where no frame comes.
    Connections {
        target: root.anchorPending ? root.Window.window : null
        function onAfterAnimating() { root.keepAnchor() }
    }
    readonly property string shownAccount: history.accountId
    onShownAccountChanged: {
        anchor = "top"
        toTop()
    }

    model: history
    // No current row: the view would give its row the focus as rows arrive, taking it from the
    // control the keys are on (the screen's first control, as its account was shown).
    currentIndex: -1
    spacing: 8
    reuseItems: true
    boundsBehavior: Flickable.StopAtBounds
    ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

    header: Column {
        width: root.width
        onHeightChanged: {
            root.anchorPending = true
            Qt.callLater(root.keepAnchor)
        }
        Loader {
            objectName: "screenContent"
            width: parent.width
            sourceComponent: root.screenHeader
        }
        RowLayout {
            objectName: "transactionsHeader"
            visible: root.showsHistory && history.count > 0
            x: 24
            width: parent.width - 48
            height: visible ? implicitHeight + 16 + 8 : 0
            Text {
                Layout.topMargin: 16
                Layout.bottomMargin: 8
                text: "Transactions"
                textFormat: Text.PlainText
                font: BRFont.headline
                color: BRPalette.textPrimary
            }
            Rectangle {
                Layout.topMargin: 16
                Layout.bottomMargin: 8
                implicitWidth: countText.implicitWidth + 16
                implicitHeight: countText.implicitHeight + 8
                radius: height / 2
                color: BRPalette.surface
                Text {
                    id: countText
                    objectName: "transactionCount"
                    anchors.centerIn: parent
                    text: history.count
                    textFormat: Text.PlainText
                    font: BRFont.label
                    color: BRPalette.textTertiary
                }
            }
            Item { Layout.fillWidth: true }
        }
        // The rows below are the last known ones, or the newest only.
        Text {
            objectName: "transactionsStale"
            Accessible.role: Accessible.StaticText
            Accessible.name: text
            visible: root.showsHistory && root.loadNote.length > 0 && history.count > 0
            x: 24
            width: parent.width - 48
            bottomPadding: 8
            text: root.loadNote
            textFormat: Text.PlainText
            font: BRFont.caption2
            color: BRPalette.textTertiary
            wrapMode: Text.Wrap
        }
        // Until the first load of the history ends, no rows means "not known yet".
        Item {
            objectName: "transactionsLoading"
            visible: root.showsHistory && history.count === 0 && history.loading
            width: parent.width
            height: visible ? loadingRow.implicitHeight + 96 : 0
            RowLayout {
                id: loadingRow
                anchors.centerIn: parent
                spacing: 8
                BRBusyIndicator { objectName: "transactionsBusy" }
                Text {
                    objectName: "transactionsLoadingText"
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    text: "Loading transactions..."
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: BRPalette.textSecondary
                }
            }
        }
        ColumnLayout {
            objectName: "transactionsEmpty"
            visible: root.showsHistory && history.count === 0 && !history.loading
            x: 48
            width: parent.width - 96
            height: visible ? implicitHeight + 96 : 0
            spacing: 16
            BRSymbol {
                Layout.topMargin: 48
                Layout.alignment: Qt.AlignHCenter
                name: "clock.arrow.circlepath"
                size: 44
                font.weight: Font.Thin
                color: BRPalette.textTertiary
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    objectName: "transactionsEmptyTitle"
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    Layout.fillWidth: true
                    // A failed load is not an empty history.
                    text: root.loadNote.length > 0 ? root.loadNote : "No transactions yet"
                    textFormat: Text.PlainText
                    font: BRFont.body
                    color: BRPalette.textTertiary
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                }
                Text {
                    objectName: "transactionsEmptyNote"
                    visible: root.loadNote.length === 0
                    Layout.fillWidth: true
                    text: root.emptyNote
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                    opacity: 0.7
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignHCenter
                }
            }
        }
    }
    footer: Item { width: root.width; height: 24 }

    delegate: Item {
        id: entry
        required property int index
        required property string entryId
        required property string title
        required property string counterparty
        required property bool hasTimestamp
        required property double timestamp
        required property string amountText
        required property bool isReceived
        required property bool isToken
        required property string tokenSymbol
        required property string status
        required property string statusText

        objectName: "transactionRow_" + entryId
        width: root.width
        implicitHeight: row.implicitHeight
        TransactionRow {
            id: row
            x: 24
            width: parent.width - 48
            title: entry.title
            counterparty: entry.counterparty
            hasTimestamp: entry.hasTimestamp
            timestamp: entry.timestamp
            amountText: entry.amountText
            isReceived: entry.isReceived
            isToken: entry.isToken
            tokenSymbol: entry.tokenSymbol
            status: entry.status
            statusText: entry.statusText
            onClicked: root.openDetail(entry.index)
        }
    }

    BRSheet {
        id: sheet
        objectName: "transactionDetailSheet"
        property TransactionDetailModel transaction: null
        width: Math.max(420, Math.min(560, Overlay.overlay ? Overlay.overlay.width - 80 : 560))
        height: Math.max(480, Math.min(720, Overlay.overlay ? Overlay.overlay.height - 80 : 720))

        function show(detail) {
            transaction = detail
            open()
        }
        // The presenter forgets the entry when the sheet closes: the next opening starts anew.
        onClosed: transaction = null

        contentItem: TransactionDetailView {
            transaction: sheet.transaction
            onDone: sheet.close()
        }
    }
}
