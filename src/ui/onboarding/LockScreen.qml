import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Quillmark.Ui

// The lock screen: the password opens the stored wallet; a forgotten one can only be
// replaced by a new wallet, after an Italian warning. The typed password lives in the
// screen's model and is wiped with it. A keyring locked meanwhile is offered its own unlock.
Item {
    id: root
    objectName: "lockScreen"

    LockViewModel {
        id: lock
        objectName: "lockViewModel"
        appState: WalletShell.appState
    }

    // Someone is there: the pointer moved over the screen or a key was typed in the last 30 s.
    property bool attended: true
    function noticeInput() {
        attended = true
        attention.restart()
    }
    Timer {
        id: attention
        interval: 30000
        running: true
        onTriggered: root.attended = false
    }
    // The window sends hover events of its own after a frame (the pointer still): only a
    // moved pointer counts.
    property point pointer
    HoverHandler {
        onPointChanged: {
            const at = point.scenePosition
            if (at.x !== root.pointer.x || at.y !== root.pointer.y) {
                root.pointer = at
                root.noticeInput()
            }
        }
    }

    Rectangle { anchors.fill: parent; color: BRPalette.background }
    RadialGlow {
        anchors.fill: parent
        startRadius: 30
        endRadius: 300
        centreOpacity: 0.03
    }

    ColumnLayout {
        anchors.fill: parent
        spacing: 24

        Item { Layout.fillHeight: true }
        Item {
            id: emblemBox
            Layout.alignment: Qt.AlignHCenter
            implicitWidth: 100
            implicitHeight: 100
            // The pulse: 1 to 0.4 and back in 1.8 s, eased, in 12 steps. Each step repaints
            // the emblem and its glow: about seven steps a second, only while the window is in
            // front and someone is there, cost a small share of an animation at the display's
            // rate. Kept off the emblem, whose every other change has its glow grabbed anew.
            property int pulseStep: 0
            readonly property real pulsePhase: pulseStep < 6 ? pulseStep / 6 : (12 - pulseStep) / 6
            readonly property real pulseOpacity:
                1 - 0.6 * (pulsePhase < 0.5 ? 2 * pulsePhase * pulsePhase
                                            : 1 - 2 * (1 - pulsePhase) * (1 - pulsePhase))
            Timer {
                objectName: "pulseTimer"
                interval: 150
                repeat: true
                running: root.visible && root.Window.active && root.attended
                onTriggered: emblemBox.pulseStep = (emblemBox.pulseStep + 1) % 12
                onRunningChanged: if (!running) emblemBox.pulseStep = 0
            }
            RadialGlow {
                anchors.fill: parent
                startRadius: 10
                endRadius: 50
                centreOpacity: 0.12
            }
            BRSymbol {
                id: emblem
                objectName: "lockEmblem"
                anchors.centerIn: parent
                name: "lock.shield.fill"
                size: 44
                font.weight: Font.Light
                color: BRPalette.accent
                opacity: emblemBox.pulseOpacity
            }
            BRGlow {
                objectName: "lockEmblemGlow"
                anchors.fill: emblem
                source: emblem
                glowColor: BRPalette.accent
                glowOpacity: 0.3
                radius: 10
            }
        }
        GlowText {
            Layout.alignment: Qt.AlignHCenter
            text: "Quillmark"
            pixelSize: 32
        }
        Text {
            textFormat: Text.PlainText
            Layout.alignment: Qt.AlignHCenter
            text: "Enter password to unlock"
            font: BRFont.callout
            color: BRPalette.textSecondary
        }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            spacing: 12
            PasswordField {
                id: passwordField
                Layout.alignment: Qt.AlignHCenter
                accessibleName: "Enter password to unlock"
                entry: lock.entry
                fieldName: "lockPasswordField"
                errorName: "lockErrorLine"
                errorKeepsRoom: true
                // Return unlocks even with an empty field.
                onAccepted: lock.submit()
                onEdited: root.noticeInput()
                Component.onCompleted: focusField()
            }
            BRPrimaryButton {
                id: unlockButton
                objectName: "unlockButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Unlock"
                enabled: !lock.isUnlocking && !lock.isWaitingForKeyring && lock.hasPassword
                onClicked: lock.submit()
                contentItem: Row {
                    spacing: 6
                    BRBusyIndicator {
                        visible: lock.isUnlocking
                        running: visible
                        width: 14
                        height: 14
                        anchors.verticalCenter: parent.verticalCenter
                    }
                    BRSymbol {
                        visible: !lock.isUnlocking
                        anchors.verticalCenter: parent.verticalCenter
                        name: "lock.open.fill"
                        size: 13
                        color: BRPalette.accent
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: unlockButton.text
                        font: unlockButton.font
                        color: BRPalette.accent
                    }
                }
            }
            BRSecondaryButton {
                objectName: "lockUnlockKeyringButton"
                Layout.alignment: Qt.AlignHCenter
                visible: lock.keyringLocked
                enabled: !lock.isWaitingForKeyring
                text: "Unlock Keyring"
                onClicked: lock.unlockKeyring()
            }
        }
        Item { Layout.fillHeight: true }
        ColumnLayout {
            Layout.alignment: Qt.AlignHCenter
            Layout.bottomMargin: 24
            spacing: 8
            Text {
                textFormat: Text.PlainText
                Layout.alignment: Qt.AlignHCenter
                text: "Password dimenticata?"
                font: BRFont.caption2
                color: BRPalette.textTertiary
            }
            AbstractButton {
                objectName: "newWalletButton"
                FocusRing { controlRadius: 4 }
                // Its name for assistive technology; the row below draws it.
                text: "Crea nuovo wallet"
                Accessible.name: text
                Layout.alignment: Qt.AlignHCenter
                hoverEnabled: true
                enabled: !lock.isWaitingForKeyring && !lock.isUnlocking
                contentItem: Row {
                    spacing: 4
                    BRSymbol {
                        anchors.verticalCenter: parent.verticalCenter
                        name: "plus.circle"
                        size: 11
                        color: BRPalette.accent
                    }
                    Text {
                        textFormat: Text.PlainText
                        anchors.verticalCenter: parent.verticalCenter
                        text: "Crea nuovo wallet"
                        font: BRFont.label
                        color: BRPalette.accent
                    }
                }
                onClicked: confirmNewWallet.open()
            }
        }
    }

    Dialog {
        id: confirmNewWallet
        objectName: "newWalletConfirm"
        anchors.centerIn: parent
        width: 360
        modal: true
        focus: true
        title: "Crea nuovo wallet"
        readonly property PopupFocus focusPlace: PopupFocus { popup: confirmNewWallet }
        background: Rectangle {
            color: BRPalette.backgroundSecondary
            radius: 10
            border.width: 0.5
            border.color: BRPalette.border
        }
        header: Text {
            textFormat: Text.PlainText
            text: confirmNewWallet.title
            font: BRFont.headline
            color: BRPalette.error
            padding: 16
            bottomPadding: 0
        }
        contentItem: Text {
            textFormat: Text.PlainText
            text: "Il wallet attuale verrà eliminato. Se hai fondi e non hai il backup della seed phrase, li perderai. Vuoi continuare?"
            font: BRFont.callout
            color: BRPalette.textPrimary
            wrapMode: Text.Wrap
        }
        footer: Item {
            implicitHeight: buttons.implicitHeight + 32
            RowLayout {
                id: buttons
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                anchors.rightMargin: 16
                spacing: 12
                BRSecondaryButton {
                    objectName: "cancelNewWalletButton"
                    text: "Annulla"
                    onClicked: confirmNewWallet.reject()
                }
                BRPrimaryButton {
                    objectName: "confirmNewWalletButton"
                    text: "Crea nuovo wallet"
                    // The destructive choice, in the danger colour.
                    contentItem: Text {
                        textFormat: Text.PlainText
                        text: "Crea nuovo wallet"
                        font: BRFont.body
                        color: BRPalette.error
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    onClicked: {
                        confirmNewWallet.close()
                        lock.resetWallet()
                    }
                }
            }
        }
    }
}
