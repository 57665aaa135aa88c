import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// About Quillmark: logo, name, version, credits and the headline features.
BRSheet {
    id: root
    objectName: "aboutSheet"
    width: 400
    height: 580

    readonly property var features: [
        { symbol: "key.fill", title: "HD Key Derivation", detail: "BIP-39 / BIP-32 / BIP-44" },
        { symbol: "lock.shield.fill", title: "Seed Encryption", detail: "ChaChaPoly + PBKDF2" },
        { symbol: "link", title: "Multi-Chain", detail: "ETH, ARB, POL, BTC, SOL" },
        { symbol: "arrow.triangle.swap", title: "Native Swap", detail: "Uniswap V3 + Custom Pools" },
        { symbol: "network", title: "dApp Connection", detail: "WalletConnect V2" },
        { symbol: "externaldrive.fill", title: "Secure Storage", detail: WalletShell.secretStorage }
    ]

    contentItem: ColumnLayout {
        spacing: 0
        ScrollView {
            id: scroller
            objectName: "aboutScroll"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            // The bar stays on screen while the content overflows: the cue that more is below.
            ScrollBar.vertical.policy: scroller.contentHeight > scroller.availableHeight
                                      ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded
            clip: true

            ColumnLayout {
                width: scroller.availableWidth
                spacing: 24
                Item { Layout.preferredHeight: 24 - parent.spacing; Layout.minimumHeight: 0 }
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: logo.width
                    implicitHeight: logo.height
                    BRGlow {
                        anchors.fill: logo
                        source: logo
                        glowColor: BRPalette.accent
                        glowOpacity: 0.3
                        radius: 16
                    }
                    QuillmarkLogo {
                        id: logo
                        size: 120
                        radius: 24
                    }
                }
                Item {
                    Layout.alignment: Qt.AlignHCenter
                    implicitWidth: aboutName.implicitWidth
                    implicitHeight: aboutName.implicitHeight
                    BRGlow {
                        anchors.fill: aboutName
                        source: aboutName
                        glowColor: BRPalette.accent
                        glowOpacity: 0.3
                        radius: 8
                    }
                    Text {
                        id: aboutName
                        textFormat: Text.PlainText
                        Accessible.role: Accessible.Heading
                        text: "Quillmark"
                        font: BRFont.systemFont(28, Font.Bold)
                        color: BRPalette.accent
                    }
                }
                Text {
                    textFormat: Text.PlainText
                    objectName: "aboutVersion"
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: -16
                    text: "v" + WalletShell.version
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
                Column {
                    Layout.alignment: Qt.AlignHCenter
                    Layout.topMargin: 4
                    spacing: 4
                    Text {
                        textFormat: Text.PlainText
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "A desktop wallet for one person on one machine."
                        font: BRFont.caption
                        color: BRPalette.textSecondary
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "Built with Qt, OpenSSL and libsecp256k1."
                        font: BRFont.caption
                        color: BRPalette.textTertiary
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.horizontalCenter: parent.horizontalCenter
                        text: "qt.io"
                        font: BRFont.caption
                        color: BRPalette.accent
                        Accessible.role: Accessible.Link
                        Accessible.name: text
                        Accessible.onPressAction: Qt.openUrlExternally("https://www.qt.io/")
                        MouseArea {
                            anchors.fill: parent
                            cursorShape: Qt.PointingHandCursor
                            onClicked: Qt.openUrlExternally("https://www.qt.io/")
                        }
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.leftMargin: 32
                    Layout.rightMargin: 32
                    implicitHeight: 0.5
                    color: BRPalette.border
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.leftMargin: 24
                    Layout.rightMargin: 24
                    spacing: 12
                    Repeater {
                        model: root.features
                        delegate: RowLayout {
                            objectName: "featureRow"
                            spacing: 12
                            Layout.fillWidth: true
                            BRSymbol {
                                Layout.preferredWidth: 20
                                name: modelData.symbol
                                size: 12
                                font.weight: Font.Medium
                                color: BRPalette.accent
                                backdropColor: BRPalette.backgroundSecondary
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                spacing: 1
                                Text { textFormat: Text.PlainText; text: modelData.title; font: BRFont.label; color: BRPalette.textSecondary }
                                // The storage line may be a long folder path.
                                Text {
                                    objectName: "featureDetail"
                                    Layout.fillWidth: true
                                    text: modelData.detail
                                    textFormat: Text.PlainText
                                    wrapMode: Text.WrapAnywhere
                                    font: BRFont.monoSmall
                                    color: BRPalette.textTertiary
                                }
                            }
                        }
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.leftMargin: 32
                    Layout.rightMargin: 32
                    implicitHeight: 0.5
                    color: BRPalette.border
                }
                Item { Layout.preferredHeight: 24 - parent.spacing; Layout.minimumHeight: 0 }
            }
        }
        Rectangle { Layout.fillWidth: true; implicitHeight: 0.5; color: BRPalette.border }
        BRSecondaryButton {
            objectName: "aboutClose"
            Layout.alignment: Qt.AlignHCenter
            Layout.margins: 12
            text: "Close"
            onClicked: root.close()
        }
    }
}
