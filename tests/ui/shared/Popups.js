.pragma library

// The popups of a window as the Quick tests' cleanups put them back: closed.

// Every popup shown under `item` (sheets, alerts, menus, tool tips), through items, their
// resources and contents.
function shown(item, out, seen) {
    if (!item || seen.has(item))
        return out
    seen.add(item)
    if (item.closePolicy !== undefined && item.visible)
        out.push(item)
    const children = item.data || item.children || []
    for (let i = 0; i < children.length; ++i)
        shown(children[i], out, seen)
    if (item.contentItem && item.contentItem !== item)
        shown(item.contentItem, out, seen)
    return out
}

// Closes every popup shown under `root` and waits, through `test` (the TestCase), until each
// is hidden.
function closeAll(test, root) {
    const open = shown(root, [], new Set())
    for (const popup of open)
        popup.close()
    for (const popup of open)
        test.tryCompare(popup, "visible", false)
}
