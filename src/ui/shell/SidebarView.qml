import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The left column: the name (about sheet) and key (recovery phrase) buttons, the accounts in
// five sections in chain order, the connected applications, the network panel and settings.
Rectangle {
    id: root
    readonly property var model: WalletShell.sidebar
    property bool logoHover: false

    implicitWidth: 280
    gradient: Gradient {
        GradientStop { position: 0; color: BRPalette.sidebarGradientTop }
        GradientStop { position: 1; color: BRPalette.sidebarGradientBottom }
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        // Header
        RowLayout {
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 24
            Layout.bottomMargin: 16
            AbstractButton {
                objectName: "nameButton"
                FocusRing { controlRadius: 4 }
                Accessible.name: "About " + appName.text
                hoverEnabled: true
                onHoveredChanged: root.logoHover = hovered
                onClicked: aboutSheet.open()
                contentItem: Item {
                    implicitWidth: appName.implicitWidth
                    implicitHeight: appName.implicitHeight
                    scale: root.logoHover ? 1.04 : 1
                    Behavior on scale { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }
                    BRGlow {
                        anchors.fill: appName
                        source: appName
                        glowColor: BRPalette.accent
                        glowOpacity: root.logoHover ? 0.6 : 0.3
                        radius: root.logoHover ? 10 : 6
                        Behavior on glowOpacity { NumberAnimation { duration: 200; easing.type: Easing.InOutQuad } }
                    }
                    Text {
                        id: appName
                        textFormat: Text.PlainText
                        text: "Quillmark"
                        font: BRFont.title
                        color: BRPalette.accent
                    }
                }
            }
            Item { Layout.fillWidth: true }
            StatusBarButton {
                objectName: "keyButton"
                symbol: "key.fill"
                symbolColor: BRPalette.textTertiary
                help: "Show recovery phrase"
                symbolSize: 11
                onClicked: seedRevealSheet.open()
            }
        }

        // Accounts
        ScrollView {
            id: accountScroll
            objectName: "accountList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            contentWidth: availableWidth
            clip: true
            // The bar stays on screen while the content overflows: the cue that more is below.
            ScrollBar.vertical.policy: accountScroll.contentHeight > accountScroll.availableHeight
                                      ? ScrollBar.AlwaysOn : ScrollBar.AsNeeded

            ColumnLayout {
                width: accountScroll.availableWidth - 24
                x: 12
                spacing: 24

                // The way back to the overview, drawn selected while the detail area shows it.
                BRHoverEffect {
                    id: portfolioRow
                    objectName: "portfolioRow"
                    readonly property bool isSelected: !WalletShell.hasSelectedAccount
                    Layout.fillWidth: true
                    implicitHeight: portfolioButton.implicitHeight
                    hoverScale: 1.02
                    glowColor: BRPalette.accent
                    AbstractButton {
                        id: portfolioButton
                        objectName: "portfolioButton"
                        FocusRing { outset: 0 }
                        width: parent.width
                        Accessible.name: "Portfolio"
                        Accessible.selected: portfolioRow.isSelected
                        leftPadding: 12
                        rightPadding: 12
                        topPadding: 12
                        bottomPadding: 12
                        onClicked: root.model.showPortfolio()
                        background: BRSidebarRow { isSelected: portfolioRow.isSelected }
                        contentItem: RowLayout {
                            spacing: 12
                            MetallicDiscIcon {
                                systemName: "chart.pie.fill"
                                color: BRPalette.accent
                                size: 32
                            }
                            Text {
                                objectName: "portfolioRowName"
                                Layout.fillWidth: true
                                text: "Portfolio"
                                textFormat: Text.PlainText
                                font: BRFont.body
                                color: portfolioRow.isSelected ? BRPalette.textPrimary
                                                               : BRPalette.textSecondary
                                elide: Text.ElideRight
                            }
                        }
                    }
                }

                Repeater {
                    objectName: "sections"
                    model: root.model.sections
                    delegate: ColumnLayout {
                        objectName: "section_" + modelData.title
                        property string title: modelData.title
                        Layout.fillWidth: true
                        spacing: 4
                        Text {
                            textFormat: Text.PlainText
                            objectName: "sectionTitle"
                            Layout.leftMargin: 8
                            Layout.rightMargin: 8
                            Layout.bottomMargin: 4
                            text: modelData.title.toUpperCase()
                            font: BRFont.label
                            color: BRPalette.textTertiary
                        }
                        Repeater {
                            model: modelData.items
                            delegate: BRHoverEffect {
                                objectName: "accountRow_" + model.accountId
                                property string accountId: model.accountId
                                property bool isSelected: model.isSelected
                                Layout.fillWidth: true
                                implicitHeight: rowButton.implicitHeight
                                hoverScale: 1.02
                                glowColor: BRPalette.chainColor(model.chain)
                                AbstractButton {
                                    id: rowButton
                                    objectName: "accountRowButton"
                                    FocusRing { outset: 0 }
                                    Accessible.name: model.name
                                    width: parent.width
                                    implicitHeight: account.implicitHeight + 16
                                    onClicked: root.model.selectAccount(model.accountId)
                                    background: BRSidebarRow { isSelected: model.isSelected }
                                    contentItem: AccountRow {
                                        id: account
                                        leftPadding: 12
                                        rightPadding: 12
                                        name: model.name
                                        balance: model.balance
                                        chain: model.chain
                                        address: model.address
                                        isSelected: model.isSelected
                                    }
                                }
                            }
                        }
                    }
                }

                // Connected applications, only while there are any.
                ColumnLayout {
                    objectName: "dappSection"
                    visible: WalletShell.walletConnect.sessions.length > 0
                    Layout.fillWidth: true
                    spacing: 4
                    Text {
                        textFormat: Text.PlainText
                        Layout.leftMargin: 8
                        Layout.bottomMargin: 4
                        text: "CONNECTED DAPPS"
                        font: BRFont.label
                        color: BRPalette.textTertiary
                    }
                    Repeater {
                        model: WalletShell.walletConnect.sessions
                        delegate: RowLayout {
                            objectName: "dappRow_" + index
                            Layout.fillWidth: true
                            Layout.leftMargin: 8
                            Layout.rightMargin: 8
                            Layout.topMargin: 4
                            Layout.bottomMargin: 4
                            spacing: 8
                            DAppIconView {
                                Layout.preferredWidth: 20
                                Layout.preferredHeight: 20
                                visible: modelData.peerIcon.length > 0
                                url: modelData.peerIcon
                                cornerRadius: 4
                            }
                            BRSymbol {
                                Layout.preferredWidth: 20
                                Layout.preferredHeight: 20
                                visible: modelData.peerIcon.length === 0
                                name: "globe"
                                size: 12
                                color: BRPalette.accent
                            }
                            Text {
                                textFormat: Text.PlainText
                                text: modelData.peerName
                                font: BRFont.caption
                                color: BRPalette.textPrimary
                                elide: Text.ElideRight
                                Layout.fillWidth: true
                            }
                            StatusBarButton {
                                symbol: "xmark.circle.fill"
                                symbolColor: BRPalette.textTertiary
                                objectName: "disconnectButton"
                                help: "Disconnect " + modelData.peerName
                                onClicked: WalletShell.walletConnect.disconnect(modelData.topic)
                            }
                        }
                    }
                }
            }
        }

        // Network panel
        Rectangle { Layout.fillWidth: true; implicitHeight: 0.5; color: BRPalette.border }
        ColumnLayout {
            objectName: "networkSection"
            Layout.fillWidth: true
            Layout.leftMargin: 16
            Layout.rightMargin: 16
            Layout.topMargin: 8
            Layout.bottomMargin: 8
            spacing: 3
            Text {
                textFormat: Text.PlainText
                Layout.bottomMargin: 1
                text: "NETWORK"
                font.family: BRFont.family
                font.pixelSize: 9
                font.weight: Font.DemiBold
                font.letterSpacing: 2
                color: BRPalette.textTertiary
            }
            // By count, as the status bar's dots: a connection's change redraws only itself.
            Repeater {
                objectName: "networkLines"
                model: root.model.networkLines.length
                delegate: RowLayout {
                    required property int index
                    readonly property var modelData: root.model.networkLines[index]
                    objectName: "networkLine_" + index
                    Layout.fillWidth: true
                    spacing: 8
                    Item {
                        Layout.preferredWidth: 5
                        Layout.preferredHeight: 5
                        BRGlow {
                            anchors.fill: lineDot
                            source: lineDot
                            glowColor: modelData.color
                            glowOpacity: 0.4
                            radius: modelData.glowRadius
                        }
                        Rectangle {
                            id: lineDot
                            anchors.fill: parent
                            radius: 2.5
                            color: modelData.color
                        }
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.preferredWidth: 28
                        text: modelData.ticker
                        font: BRFont.monospacedFont(10, Font.Medium)
                        color: BRPalette.textSecondary
                    }
                    Text {
                        textFormat: Text.PlainText
                        Layout.fillWidth: true
                        text: modelData.host
                        font: BRFont.monospacedFont(9.5, Font.Normal)
                        color: BRPalette.textTertiary
                        elide: Text.ElideMiddle
                        maximumLineCount: 1
                    }
                    HoverHandler { id: lineHover }
                    BRToolTip {
                        visible: lineHover.hovered
                        text: modelData.tooltip
                    }
                }
            }
        }

        // Settings
        Rectangle { Layout.fillWidth: true; implicitHeight: 0.5; color: BRPalette.border }
        BRHoverEffect {
            Layout.fillWidth: true
            implicitHeight: settingsButton.implicitHeight
            hoverScale: 1.0
            glowColor: BRPalette.accent
            AbstractButton {
                id: settingsButton
                objectName: "settingsButton"
                FocusRing { controlRadius: 4 }
                Accessible.name: "Settings"
                width: parent.width
                leftPadding: 16
                rightPadding: 16
                topPadding: 12
                bottomPadding: 12
                onClicked: settingsSheet.open()
                contentItem: RowLayout {
                    spacing: 8
                    BRSymbol {
                        name: "gear"
                        size: 13
                        font.weight: Font.Medium
                        color: BRPalette.textTertiary
                    }
                    Text {
                        textFormat: Text.PlainText
                        text: "Settings"
                        font: BRFont.caption
                        color: BRPalette.textSecondary
                    }
                    Item { Layout.fillWidth: true }
                }
            }
        }
    }

    // Made when first opened: the unlocked window's first frame does without them.
    SheetOnDemand { id: settingsSheet; source: "../settings/SettingsView.qml" }
    SheetOnDemand { id: aboutSheet; source: "AboutSheet.qml" }
    SheetOnDemand { id: seedRevealSheet; source: "../settings/SeedRevealSheet.qml" }
}
