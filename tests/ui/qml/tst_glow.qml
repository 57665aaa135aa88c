import QtQuick
import QtTest
import Quillmark.Ui

// A glow blurs its source's shape again only when the shape changed, and a source that says
// it is still moving (`settled` false) is taken once it rests.
Item {
    id: top
    width: 400
    height: 200

    // Each test's sources and their glows, made for it and destroyed after it, failed or not.
    Component {
        id: labelScene
        Item {
            anchors.fill: parent
            property alias label: label
            property alias glow: labelGlow
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
        }
    }
    Component {
        id: figureScene
        Item {
            anchors.fill: parent
            property alias figure: figure
            property alias glow: figureGlow
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
        }
    }

    TestCase {
        name: "Glow"
        when: windowShown

        // The scene made from `component`, once its glow has taken the source's shape and
        // waits for no grab.
        function scene(component) {
            const made = createTemporaryObject(component, top)
            verify(made)
            tryVerify(() => made.glow.ready && made.glow.idle, 5000)
            return made
        }

        function test_1_anUnchangedShapeIsNotBlurredAgain() {
            const {label, glow} = scene(labelScene)
            const blurs = glow.blurs
            // A property with a notice that leaves the pixels as they are: grabbed, not blurred.
            label.wrapMode = Text.Wrap
            verify(!glow.idle, "the change asked for no grab")
            tryVerify(() => glow.idle, 5000)
            compare(glow.blurs, blurs)
            label.text = "Glows"
            tryVerify(() => glow.idle, 5000)
            compare(glow.blurs, blurs + 1)
        }

        function test_2_aMovingSourceIsTakenOnceItRests() {
            const {figure, glow} = scene(figureScene)
            const blurs = glow.blurs
            figure.settled = false
            for (let width = 50; width <= 90; width += 10) {
                figure.width = width
                tryVerify(() => glow.idle, 5000)
            }
            compare(glow.blurs, blurs)
            figure.settled = true
            tryVerify(() => glow.idle, 5000)
            compare(glow.blurs, blurs + 1)
        }
    }
}
