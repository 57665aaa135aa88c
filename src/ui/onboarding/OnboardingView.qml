import QtQuick
import QtQuick.Controls
import Quillmark.Ui

// The onboarding flow: the backdrop and the one step screen its model names, cross-fading
// between steps. The model, with the phrase and passwords it holds, goes with this view.
Item {
    id: root
    objectName: "onboardingView"

    OnboardingViewModel {
        id: flow
        objectName: "onboardingViewModel"
        appState: WalletShell.appState
    }

    Rectangle { anchors.fill: parent; color: BRPalette.background }
    RadialGlow {
        anchors.fill: parent
        startRadius: 50
        endRadius: 400
        centreOpacity: 0.03
    }

    // Shows the step's screen. Those past the first load from their files when first shown:
    // the window's first frame loads only the welcome step's types.
    function showStep(step) {
        const later = (file) => steps.replace(null, Qt.resolvedUrl(file), {vm: flow})
        switch (step) {
        case OnboardingViewModel.Welcome: return steps.replace(null, welcome)
        case OnboardingViewModel.CreateShowSeed: return later("CreateWalletView.qml")
        case OnboardingViewModel.CreateVerify: return later("WordVerifyView.qml")
        case OnboardingViewModel.ImportSeed: return later("ImportWalletView.qml")
        case OnboardingViewModel.RestoreBackup: return later("RestoreBackupView.qml")
        default: return steps.replace(null, complete)
        }
    }

    StackView {
        id: steps
        objectName: "onboardingSteps"
        anchors.fill: parent
        initialItem: welcome
        replaceEnter: Transition {
            OpacityAnimator { from: 0; to: 1; duration: 200; easing.type: Easing.OutQuad }
        }
        replaceExit: Transition {
            OpacityAnimator { from: 1; to: 0; duration: 200; easing.type: Easing.OutQuad }
        }
    }
    Connections {
        target: flow
        function onCurrentStepChanged() { root.showStep(flow.step) }
    }

    Component { id: welcome; WelcomeStepView { vm: flow } }
    Component { id: complete; Item { objectName: "onboardingComplete" } }
}
