import QtQuick
import QtTest
import Quillmark.Ui

// A glow blurs its source's shape again only when the shape changed, and a source that says
// it is still moving (`settled` false) is taken once it rests.
Item {
    width: 400
    height: 200

    Text {
        id: label
        x: 40; y: 40
        text: "Glow"
        font.pixelSize: 24
        color: "white"
    }
    BRGlow {
        id: labelGlow
        anchors.fill: label
        source: label
        glowColor: "white"
        glowOpacity: 0.5
        radius: 8
    }

    Rectangle {
        id: figure
        property bool settled: true
        x: 200; y: 40
        width: 40; height: 20
        color: "white"
    }
    BRGlow {
        id: figureGlow
        anchors.fill: figure
        source: figure
        glowColor: "white"
        glowOpacity: 0.5
        radius: 8
    }

    TestCase {
        name: "Glow"
        when: windowShown

        function test_1_anUnchangedShapeIsNotBlurredAgain() {
            tryVerify(() => labelGlow.ready, 5000)
            const blurs = labelGlow.blurs
            // A property with a notice that leaves the pixels as they are: grabbed, not blurred.
            label.wrapMode = Text.Wrap
            wait(200)
            compare(labelGlow.blurs, blurs)
            label.text = "Glows"
            tryVerify(() => labelGlow.blurs === blurs + 1, 5000)
            wait(200)
            compare(labelGlow.blurs, blurs + 1)
        }

        function test_2_aMovingSourceIsTakenOnceItRests() {
            tryVerify(() => figureGlow.ready, 5000)
            const blurs = figureGlow.blurs
            figure.settled = false
            for (let width = 50; width <= 90; width += 10) {
                figure.width = width
                wait(50)
            }
            compare(figureGlow.blurs, blurs)
            figure.settled = true
            tryVerify(() => figureGlow.blurs === blurs + 1, 5000)
            wait(200)
            compare(figureGlow.blurs, blurs + 1)
        }
    }
}
