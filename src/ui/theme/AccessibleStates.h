#pragma once
// What Qt Quick tells assistive technology, corrected where it is wrong or missing. Installed
// once, before the first window:
// - a disabled item (a Send button with no password, a Review button with no quote) reports
//   itself enabled unless its interface says otherwise;
// - a text field in password echo mode hands its clear text to any client that asks;
// - what a modal sheet covers still reads as showing and usable, and so does what is scrolled
//   away under the status bar or the network panel;
// - a text taken into the tree reads as showing while it is hidden (a step not taken, a note
//   not due, a row left out);
// - a recovery-phrase word (SecretWordText, drawn from C++ memory) reads as nothing;
// - a Text is not in the tree at all (AccessibleTexts.h), and a sheet reads as an unnamed
//   dialog.

namespace qm {

// Every accessible Qt Quick item reports "disabled" while it is not enabled (and tells the
// screen reader when that changes), "invisible" and "disabled" while a modal popup of its
// window that does not hold it is open, and "invisible" while it or what holds it is hidden
// or nothing of it can be seen (ItemSight.h); a password field reports its masked text; a
// recovery phrase word reads as that word; every text shown is in the tree, read as what it
// shows (and its changes told); a popup reads as its title, else as the heading it shows.
void installAccessibleStates();

} // namespace qm
