import QtQuick
import Quillmark.Ui

// A soft shadow of its source's shape, without offset unless one is given: the glows of
// buttons, dots and texts and the panels' drop shadows. As a sibling of its source it draws
// only the shadow; as a layer's effect (the layer hides the item) it draws the source over it.
// One shader compiled ahead of time (shaders/glow.frag), its result kept in a layer that is
// redrawn only when the source or the look changes.
Item {
    id: root
    property var source
    property color glowColor: "transparent"
    property real glowOpacity: 0
    property real radius: 8
    property real horizontalOffset: 0
    property real verticalOffset: 0
    // A layer hands its effect the ShaderEffectSource it draws the item into, and does not
    // draw the item itself: the effect draws it then.
    property bool drawsSource: !!source && source.sourceItem !== undefined

    readonly property real pad: Math.ceil(radius + Math.max(Math.abs(horizontalOffset),
                                                             Math.abs(verticalOffset)) + 1)

    // A sibling source is drawn into a texture of its own; a layer's is one already.
    ShaderEffectSource {
        id: sibling
        sourceItem: root.drawsSource ? null : root.source
        hideSource: false
        smooth: true
        visible: false
    }
    ShaderEffect {
        x: -root.pad
        y: -root.pad
        width: root.width + 2 * root.pad
        height: root.height + 2 * root.pad
        visible: root.width > 0 && root.height > 0
        layer.enabled: true
        property var source: root.drawsSource ? root.source : sibling
        readonly property real sourceWidth: Math.max(1, root.width)
        readonly property real sourceHeight: Math.max(1, root.height)
        property vector4d glowColor: Qt.vector4d(root.glowColor.r, root.glowColor.g,
                                                 root.glowColor.b,
                                                 root.glowColor.a * root.glowOpacity)
        property point margin: Qt.point(root.pad / sourceWidth, root.pad / sourceHeight)
        property point tapStep: Qt.point(root.radius / 3 / sourceWidth, root.radius / 3 / sourceHeight)
        property point offset: Qt.point(root.horizontalOffset / sourceWidth,
                                        root.verticalOffset / sourceHeight)
        property real drawSource: root.drawsSource ? 1 : 0
        fragmentShader: "qrc:/quillmark/shaders/glow.frag.qsb"
    }
}
