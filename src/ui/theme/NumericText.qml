import QtQuick
import Quillmark.Ui

// A figure whose changes count up character by character: a character that differs from the
// one shown slides up and fades out while its successor rises in from below; the others stay.
// The characters line up from the right end, so digits keep their places when the figure
// gains or loses one. `text` is always the whole figure; `shownText` follows it and `settled`
// turns true once the characters have come to rest (a glow behind the figure takes its shape
// again then, also after a figure that changed and changed back).
Item {
    id: root
    property string text: ""
    property font font
    property color color: BRPalette.textPrimary
    property int duration: 350
    property string shownText: ""
    property bool settled: true

    // Read as the whole figure, not character by character.
    Accessible.role: Accessible.StaticText
    Accessible.name: text
    implicitWidth: cells.implicitWidth
    implicitHeight: lineMetrics.height

    FontMetrics {
        id: lineMetrics
        font: root.font
    }

    // One entry per character, changed in place so that each cell sees its own change.
    ListModel { id: characters }

    function show(text) {
        const difference = text.length - characters.count
        if (difference > 0) {
            for (let i = 0; i < difference; ++i)
                characters.insert(0, {character: ""})
        } else if (difference < 0) {
            characters.remove(0, -difference)
        }
        for (let i = 0; i < text.length; ++i) {
            if (characters.get(i).character !== text[i])
                characters.setProperty(i, "character", text[i])
        }
    }
    onTextChanged: {
        show(text)
        settled = false
        settling.restart()
    }
    Component.onCompleted: {
        show(text)
        shownText = text
    }

    // Animations run on the frames' clock, which falls behind the wall clock on a busy
    // machine: the figure counts as settled only once no character moves any more.
    Timer {
        id: settling
        interval: root.duration + 20
        onTriggered: {
            for (let i = 0; i < cellRepeater.count; ++i) {
                const cell = cellRepeater.itemAt(i)
                if (cell && cell.moving) {
                    restart()
                    return
                }
            }
            root.shownText = root.text
            root.settled = true
        }
    }

    Row {
        id: cells
        Repeater {
            id: cellRepeater
            model: characters
            delegate: Item {
                id: cell
                required property string character
                property string previous: ""
                property bool settled: false
                readonly property bool moving: rolling.running

                width: lineMetrics.advanceWidth(character)
                height: root.implicitHeight
                clip: true
                Behavior on width {
                    enabled: cell.settled
                    NumberAnimation { duration: root.duration; easing.type: Easing.OutCubic }
                }

                onCharacterChanged: {
                    if (!settled)
                        return
                    leaving.text = previous
                    rolling.restart()
                    previous = character
                }
                Component.onCompleted: {
                    previous = character
                    settled = true
                }

                // The character that fades out: the figure reads as the new one.
                Text {
                    id: leaving
                    Accessible.ignored: true
                    textFormat: Text.PlainText
                    font: root.font
                    color: root.color
                    opacity: 0
                }
                Text {
                    id: arriving
                    textFormat: Text.PlainText
                    text: cell.character
                    font: root.font
                    color: root.color
                }
                ParallelAnimation {
                    id: rolling
                    NumberAnimation {
                        target: leaving; property: "y"; from: 0; to: -cell.height
                        duration: root.duration; easing.type: Easing.OutCubic
                    }
                    NumberAnimation {
                        target: leaving; property: "opacity"; from: 1; to: 0
                        duration: root.duration; easing.type: Easing.OutCubic
                    }
                    NumberAnimation {
                        target: arriving; property: "y"; from: cell.height; to: 0
                        duration: root.duration; easing.type: Easing.OutCubic
                    }
                    NumberAnimation {
                        target: arriving; property: "opacity"; from: 0; to: 1
                        duration: root.duration; easing.type: Easing.OutCubic
                    }
                }
            }
        }
    }
}
