#pragma once
// Locks and unlocks the default keyring of the gnome-keyring on the session bus, as a screen
// locker and a desktop's unlock dialog do, without any prompt.

#include <string>

namespace qm::test {

class KeyringLocker {
public:
    // The Secret Service's own Lock of the default collection; false when it stayed open.
    static bool lock();
    // gnome-keyring's unlock with the keyring's password (what its unlock dialog sends),
    // through a plain Secret Service session; false when it stayed locked.
    static bool unlock(const std::string& password);
};

} // namespace qm::test
