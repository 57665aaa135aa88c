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

    function screenFor(step) {
        switch (step) {
        case OnboardingViewModel.Welcome: return welcome
        case OnboardingViewModel.CreateShowSeed: return createShowSeed
        case OnboardingViewModel.CreateVerify: return createVerify
        case OnboardingViewModel.ImportSeed: return importSeed
        case OnboardingViewModel.RestoreBackup: return restoreBackup
        default: return complete
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
        function onCurrentStepChanged() { steps.replace(null, root.screenFor(flow.step)) }
    }

    Component { id: welcome; WelcomeStepView { vm: flow } }
    Component { id: createShowSeed; CreateWalletView { vm: flow } }
    Component { id: createVerify; WordVerifyView { vm: flow } }
    Component { id: importSeed; ImportWalletView { vm: flow } }
    Component { id: restoreBackup; RestoreBackupView { vm: flow } }
    Component { id: complete; Item { objectName: "onboardingComplete" } }
}
