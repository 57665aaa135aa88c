# The keychain suites again, against gnome-keyring in a private D-Bus session.
add_test(NAME ${QM_TEST_PREFIX}peer_keychain
    COMMAND sh ${QM_PEERS_DIR}/with-gnome-keyring.sh
            $<TARGET_FILE:Keychain_tests> $<TARGET_FILE:KeychainManager_tests>)
set_tests_properties(${QM_TEST_PREFIX}peer_keychain PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QM_SOURCE_DIR=${PROJECT_SOURCE_DIR};QM_BUILD_DIR=${PROJECT_BINARY_DIR}"
    SKIP_REGULAR_EXPRESSION "Secret Service unavailable"
    TIMEOUT 300)
