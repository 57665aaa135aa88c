import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Shapes
import Quillmark.Ui

// A chain's price card: pair, spot price and 24-hour change, and the seven-day curve drawn
// from the points the model computes (line, area under the same curve, and a soft glow).
BRSurface {
    id: root
    property int chain: 0
    readonly property alias model: chart
    readonly property color chainColor: BRPalette.chainColor(chain)

    function tinted(opacity) { return Qt.rgba(chainColor.r, chainColor.g, chainColor.b, opacity) }

    objectName: "priceChartView"
    elevated: true
    padding: 16
    implicitHeight: column.implicitHeight + 2 * padding

    PriceChartModel {
        id: chart
        chain: root.chain
        plotWidth: plot.width
        plotHeight: plot.height
    }

    ColumnLayout {
        id: column
        width: root.width - 2 * root.padding
        spacing: 8

        ColumnLayout {
            spacing: 4
            Text {
                textFormat: Text.PlainText
                objectName: "chartPairLabel"
                text: chart.pairLabel
                font.family: BRFont.family
                font.pixelSize: 10
                font.weight: Font.Medium
                font.letterSpacing: 1.5
                font.capitalization: Font.AllUppercase
                color: BRPalette.textTertiary
            }
            // The spot price, counting up when it changes, over a faint accent shadow.
            Item {
                visible: chart.hasPrice
                implicitWidth: price.implicitWidth
                implicitHeight: price.implicitHeight
                BRGlow {
                    anchors.fill: price
                    source: price
                    glowColor: BRPalette.accent
                    glowOpacity: 0.05
                    radius: 8
                }
                NumericText {
                    id: price
                    objectName: "chartPrice"
                    text: chart.priceText
                    font: BRFont.largeTitle
                    color: BRPalette.textPrimary
                }
            }
            RowLayout {
                objectName: "chartChange"
                visible: chart.hasPrice
                spacing: 4
                BRSymbol {
                    objectName: "chartChangeArrow"
                    name: chart.changeIsUp ? "arrow.up.right" : "arrow.down.right"
                    size: 9
                    font.bold: true
                    color: chart.changeIsUp ? BRPalette.success : BRPalette.error
                }
                Text {
                    textFormat: Text.PlainText
                    objectName: "chartChangeText"
                    text: chart.changeText
                    font: BRFont.label
                    color: chart.changeIsUp ? BRPalette.success : BRPalette.error
                }
                Text {
                    textFormat: Text.PlainText
                    objectName: "chartChange24h"
                    text: "24h"
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }
            Text {
                textFormat: Text.PlainText
                objectName: "chartNoPrice"
                visible: !chart.hasPrice
                text: "\u2014"
                font: BRFont.largeTitle
                color: BRPalette.textTertiary
            }
        }

        Item {
            id: area
            Layout.fillWidth: true
            Layout.preferredHeight: 220
            Layout.minimumHeight: 200
            Layout.maximumHeight: 240

            Rectangle {
                objectName: "chartPlaceholder"
                anchors.fill: parent
                visible: chart.pointCount === 0
                radius: 10
                color: Qt.rgba(BRPalette.backgroundSecondary.r, BRPalette.backgroundSecondary.g,
                               BRPalette.backgroundSecondary.b, 0.5)
                BRBusyIndicator {
                    objectName: "chartBusy"
                    anchors.centerIn: parent
                    width: 24
                    height: 24
                    // A failed load waits for the next refresh without animating meanwhile.
                    visible: !chart.loadFailed
                    running: parent.visible && visible
                    color: Qt.rgba(BRPalette.accent.r, BRPalette.accent.g, BRPalette.accent.b, 0.5)
                }
                Text {
                    objectName: "chartLoadFailed"
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                    anchors.centerIn: parent
                    visible: chart.loadFailed
                    text: "Could not load the price chart."
                    textFormat: Text.PlainText
                    font: BRFont.caption2
                    color: BRPalette.textTertiary
                }
            }

            Item {
                objectName: "chartPlotArea"
                anchors.fill: parent
                visible: chart.pointCount > 0
                clip: true

                // The plot leaves room at the trailing edge for the y labels, at the bottom for
                // the dates, and at the top for the upper half of a label at the very top.
                Item {
                    id: plot
                    anchors.left: parent.left
                    anchors.top: parent.top
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    anchors.rightMargin: 40
                    anchors.bottomMargin: 16
                    anchors.topMargin: 6

                    Repeater {
                        model: chart.yTicks
                        Item {
                            required property var modelData
                            y: modelData.y
                            width: plot.width + 40
                            Rectangle {
                                width: plot.width
                                height: 1
                                color: Qt.rgba(BRPalette.gridLine.r, BRPalette.gridLine.g,
                                               BRPalette.gridLine.b, 0.2 * BRPalette.gridLine.a)
                            }
                            Text {
                                textFormat: Text.PlainText
                                objectName: "chartYLabel"
                                x: plot.width + 6
                                anchors.verticalCenter: parent.top
                                text: modelData.label
                                font.family: BRFont.family
                                font.pixelSize: 9
                                color: BRPalette.textTertiary
                            }
                        }
                    }
                    Repeater {
                        model: chart.xTicks
                        Item {
                            required property var modelData
                            x: modelData.x
                            height: plot.height + 16
                            Rectangle {
                                width: 1
                                height: plot.height
                                color: Qt.rgba(BRPalette.gridLine.r, BRPalette.gridLine.g,
                                               BRPalette.gridLine.b, 0.2 * BRPalette.gridLine.a)
                            }
                            // Centred on its mark; left out where it would be cut at an edge.
                            Text {
                                textFormat: Text.PlainText
                                objectName: "chartXLabel"
                                anchors.horizontalCenter: parent.left
                                anchors.bottom: parent.bottom
                                visible: parent.x - width / 2 >= 0
                                         && parent.x + width / 2 <= plot.width + 40
                                text: modelData.label
                                font.family: BRFont.family
                                font.pixelSize: 9
                                color: BRPalette.textTertiary
                            }
                        }
                    }

                    BRShape {
                        id: glow
                        anchors.fill: parent
                        visible: false
                        ShapePath {
                            strokeColor: root.chainColor
                            strokeWidth: 3
                            fillColor: "transparent"
                            PathSvg { path: chart.linePath }
                        }
                    }
                    BRGlow { // the glow layer behind the line: the same curve, wider and blurred
                        anchors.fill: parent
                        source: glow
                        glowColor: root.chainColor
                        glowOpacity: 0.35
                        radius: 2.5
                    }
                    BRShape {
                        objectName: "chartCurve"
                        anchors.fill: parent
                        // Drawn into an image, which the software scene graph clips to a
                        // scrolled view (a shape drawn straight into the window it does not).
                        layer.enabled: true
                        layer.smooth: true
                        ShapePath {
                            objectName: "chartArea"
                            strokeColor: "transparent"
                            strokeWidth: 0
                            fillGradient: LinearGradient {
                                x1: 0; y1: 0; x2: 0; y2: plot.height
                                GradientStop { position: 0; color: root.tinted(0.08) }
                                GradientStop { position: 1; color: root.tinted(0.005) }
                            }
                            PathSvg { path: chart.areaPath }
                        }
                        ShapePath {
                            objectName: "chartLine"
                            strokeColor: root.chainColor
                            strokeWidth: 1.5
                            fillColor: "transparent"
                            PathSvg { path: chart.linePath }
                        }
                    }
                }
            }
        }

        RowLayout {
            Text {
                textFormat: Text.PlainText
                text: "7D"
                font.family: BRFont.family
                font.pixelSize: 10
                font.weight: Font.Medium
                font.letterSpacing: 1
                color: BRPalette.textTertiary
            }
            Item { Layout.fillWidth: true }
        }
    }
}
