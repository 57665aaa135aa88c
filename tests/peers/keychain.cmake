# The keychain suites again, against gnome-keyring in a private D-Bus session.
add_test(NAME ${QM_TEST_PREFIX}peer_keychain
    COMMAND sh ${QM_PEERS_DIR}/with-gnome-keyring.sh
            $<TARGET_FILE:Keychain_tests> $<TARGET_FILE:KeychainManager_tests>)
# The kill test keeps its items in files of its own: the unit run has it.
set_tests_properties(${QM_TEST_PREFIX}peer_keychain PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_SOURCE_DIR=${PROJECT_SOURCE_DIR};QM_BUILD_DIR=${PROJECT_BINARY_DIR};GTEST_FILTER=-KeychainManagerKill.*"
    SKIP_REGULAR_EXPRESSION "Secret Service unavailable"
    TIMEOUT 300)

# The probe against a keyring that a test locks, and against a daemon without any keyring:
# each needs a session of its own (unlocking again would take a prompt).
foreach(setup locked absent lockedstart)
    add_test(NAME ${QM_TEST_PREFIX}peer_keychain_${setup}
        COMMAND sh ${QM_PEERS_DIR}/with-gnome-keyring.sh
                $<TARGET_FILE:Keychain_tests>)
    set_tests_properties(${QM_TEST_PREFIX}peer_keychain_${setup} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_KEYRING_SETUP=${setup};GTEST_FILTER=SecretServiceProbe.*"
        SKIP_REGULAR_EXPRESSION "Secret Service unavailable"
        TIMEOUT 120)
endforeach()

# A keyring locked under a running manager and unlocked again with its password.
add_test(NAME ${QM_TEST_PREFIX}peer_keychain_relock
    COMMAND sh ${QM_PEERS_DIR}/with-gnome-keyring.sh $<TARGET_FILE:KeychainManager_tests>)
set_tests_properties(${QM_TEST_PREFIX}peer_keychain_relock PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_KEYRING_SETUP=relock;GTEST_FILTER=KeychainManagerTest.AWriteToAKeyringLockedSinceTheStartIsNeverShadowedByAFile"
    SKIP_REGULAR_EXPRESSION "Secret Service unavailable"
    TIMEOUT 120)
