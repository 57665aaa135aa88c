import QtQuick
import Quillmark.Ui

// Placeholder for the selected account's detail until it is built.
PlaceholderScreen {
    objectName: "accountDetailView"
    screenName: "Account"
    note: "Account detail placeholder: not built yet."
}
