import QtQuick

// A sheet made from its file the first time it opens: the window's first frame neither makes
// it nor loads its type and the types that type uses. Once made it stays, with what it keeps
// between openings, among this item's resources as a sheet declared in place would be. It
// fills its parent, so a sheet that sizes itself by its parent sees the same size as there.
Item {
    id: root
    anchors.fill: parent
    // The sheet's file, relative to the file that declares this (as a Loader's source).
    required property url source
    // The sheet once made; null before.
    property var sheet: null

    // The sheet, made now if it was not yet.
    function make() {
        if (!sheet) {
            const component = Qt.createComponent(source)
            const made = component.createObject(root)
            if (!made) {
                console.warn(component.errorString())
                return null
            }
            root.data.push(made)
            sheet = made
        }
        return sheet
    }
    function open() {
        const made = make()
        if (made)
            made.open()
    }
}
