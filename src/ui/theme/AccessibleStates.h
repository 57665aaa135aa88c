#pragma once
// What Qt Quick tells assistive technology, corrected where it is wrong or missing. Installed
// once, before the first window:
// - a disabled item (a Send button with no password, a Review button with no quote) reports
//   itself enabled unless its interface says otherwise;
// - a text field in password echo mode hands its clear text to any client that asks;
// - what a modal sheet covers still reads as showing and usable;
// - a recovery-phrase word (SecretWordText, drawn from C++ memory) reads as nothing.

namespace qm {

// Every accessible Qt Quick item reports "disabled" while it is not enabled (and tells the
// screen reader when that changes), and "invisible" and "disabled" while a modal popup of its
// window that does not hold it is open; a password field reports its masked text; a recovery
// phrase word reads as that word.
void installAccessibleStates();

} // namespace qm
