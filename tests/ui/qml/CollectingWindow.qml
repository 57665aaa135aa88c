import QtQuick
import Quillmark.Ui

// The program's main window with an item that starts the script engine's collector as it is
// destroyed, as any script run while the window goes may.
QuillmarkWindow {
    Item { Component.onDestruction: gc() }
}
