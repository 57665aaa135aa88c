import QtQuick
import QtQuick.Layouts
import Quillmark.Ui

// The three fee levels side by side, Economy to Priority; on Bitcoin each shows the rate of
// the model's fee estimate (or the level's default, which the send screen names as one).
// Choosing a level only sets it: the send screen re-estimates.
RowLayout {
    id: root
    property SendViewModel vm: null
    property int chain: 0

    spacing: 8
    // The cards share the height of the tallest: a hint wrapped onto two lines in one card
    // does not leave the others short.
    readonly property real cardHeight: {
        let tallest = 0
        for (let i = 0; i < levels.count; ++i) {
            const card = levels.itemAt(i)
            if (card)
                tallest = Math.max(tallest, card.implicitHeight)
        }
        return tallest
    }

    Repeater {
        id: levels
        model: [SendViewModel.Slow, SendViewModel.Normal, SendViewModel.Fast]
        FeePickerButton {
            required property int modelData
            objectName: "feeLevel_" + modelData
            Layout.fillWidth: true
            Layout.preferredHeight: root.cardHeight
            Layout.preferredWidth: 1
            level: modelData
            isSelected: root.vm !== null && root.vm.selectedFeeLevel === modelData
            isBTC: root.chain === 0
            rateText: {
                if (!isBTC || root.vm === null)
                    return ""
                const snapshot = root.vm.feeSnapshot
                const rate = modelData === SendViewModel.Slow ? snapshot.slow
                           : modelData === SendViewModel.Fast ? snapshot.fast : snapshot.normal
                return rate ? rate.rateText : ""
            }
            onClicked: if (root.vm) root.vm.selectedFeeLevel = modelData
        }
    }
}
