import QtQuick
import Quillmark.Ui

// The program's logo: a quill mark ("Q") on an accent gradient tile.
Rectangle {
    id: root
    property real size: 120
    width: size
    height: size
    radius: size / 5
    gradient: Gradient {
        GradientStop { position: 0; color: BRPalette.accentLight }
        GradientStop { position: 0.55; color: BRPalette.accent }
        GradientStop { position: 1; color: BRPalette.accentDeep }
    }
    Text {
        textFormat: Text.PlainText
        anchors.centerIn: parent
        text: "Q"
        font.family: BRFont.family
        font.weight: Font.Bold
        font.pixelSize: root.size * 0.58
        color: BRPalette.background
    }
}
