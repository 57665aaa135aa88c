# Precompiled headers. The standard library, Qt, QCoro, nlohmann/json and GoogleTest take a
# third to a half of each file's compile time in the sanitized trees; compiled once for each
# group of targets built with the same flags, they are loaded instead of parsed again.
#
# Every target that qm_apply_options sets up is registered; qm_precompile_headers(), called
# once every target exists, gives each group its headers. A group is the targets with the same
# direct link libraries, compile options and definitions (hence the same flags): the first
# target compiles the header, the others reuse it. A group of one source file keeps none.

option(QM_PCH "Precompile the library headers that most files include" ON)

set(QM_PCH_STD_HEADERS
    <algorithm> <array> <chrono> <cstddef> <cstdint> <exception> <functional> <map> <memory>
    <optional> <set> <stdexcept> <string> <string_view> <utility> <vector>)
set(QM_PCH_JSON_HEADERS ${QM_PCH_STD_HEADERS} <nlohmann/json.hpp>)
# The core has no Qt; everything above it links Qt Core and Network, QCoro and nlohmann/json.
set(QM_PCH_QT_HEADERS
    ${QM_PCH_JSON_HEADERS} <QByteArray> <QObject> <QPointer> <QString> <QTimer> <QUrl>
    <QVariant> <qcoro/qcorotask.h>)
# The window's code adds Qt QML, which every file that qmlcachegen makes of a QML file includes.
set(QM_PCH_QML_HEADERS
    <QtQml/qqmlprivate.h> <QtQml/qqmlengine.h> <QtQml/qqmlcomponent.h> <QtQml/qqmlcontext.h>
    <QtQml/qjsengine.h> <QtQml/qjsvalue.h> <QtQml/qqmlregistration.h> <QtCore/qdatetime.h>
    <QtCore/qstringlist.h>)
# Tests add GoogleTest and Qt Test.
set(QM_PCH_TEST_HEADERS
    ${QM_PCH_QT_HEADERS} <gtest/gtest.h> <QCoreApplication> <QSignalSpy> <QTemporaryDir> <QTest>)

function(qm_register_target target)
    set_property(GLOBAL APPEND PROPERTY QM_REGISTERED_TARGETS ${target})
endfunction()

# The headers a target may see: the standard library (and JSON) in the platform (and the core),
# Qt above, GoogleTest and Qt Test in the tests, Qt QML in the window and what builds on it.
function(qm_pch_headers_of target out)
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT links)
        set(links "")
    endif()
    set(test_libraries qm_test_support qm_test_main qm_quick_test_setup)
    set(is_test FALSE)
    foreach(library ${test_libraries})
        if(target STREQUAL library OR library IN_LIST links)
            set(is_test TRUE)
        endif()
    endforeach()
    set(qml FALSE)
    if(target STREQUAL "qm_ui" OR "qm_ui" IN_LIST links OR "qm_quick_test_setup" IN_LIST links)
        set(qml TRUE)
    endif()
    if(target STREQUAL "qm_platform")
        set(headers ${QM_PCH_STD_HEADERS})
    elseif(target STREQUAL "qm_core")
        set(headers ${QM_PCH_JSON_HEADERS})
    elseif(is_test)
        set(headers ${QM_PCH_TEST_HEADERS})
    else()
        set(headers ${QM_PCH_QT_HEADERS})
    endif()
    if(qml)
        list(APPEND headers ${QM_PCH_QML_HEADERS})
    endif()
    set(${out} ${headers} PARENT_SCOPE)
endfunction()

# Files that must parse their own headers: Qt defines `signals` and `slots` as keywords, which
# plain C++ may use as names, and GLib's headers (libsecret's) name a member `signals`, so they
# must come before any Qt header. A line that merely mentions one of these words costs its file
# the precompiled headers, nothing more.
function(qm_pch_skip_unfit_files target)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    # moc's output for the target is often empty: loading a precompiled header of 100 to 250 MB
    # (gcc's, with the sanitizers) would cost it a second.
    get_target_property(binary_dir ${target} BINARY_DIR)
    set_source_files_properties(${binary_dir}/${target}_autogen/mocs_compilation.cpp
        TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    set(word "[^A-Za-z0-9_]")
    foreach(source ${sources})
        if(NOT source MATCHES "\\.cpp$")
            continue()
        endif()
        if(NOT IS_ABSOLUTE ${source})
            set(source ${source_dir}/${source})
        endif()
        if(NOT EXISTS ${source})
            continue() # generated, by Qt's tools
        endif()
        file(STRINGS ${source} unfit REGEX
            "^#include <(libsecret|glib|gio)|(^|${word})(slots|signals)(${word}|$)")
        list(FILTER unfit EXCLUDE REGEX "^ *((public|protected|private) +)?(slots|signals):$|^ *//")
        if(unfit)
            set_source_files_properties(${source} TARGET_DIRECTORY ${target}
                PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
        endif()
    endforeach()
endfunction()

function(qm_precompile_headers)
    if(NOT QM_PCH)
        return()
    endif()
    get_property(targets GLOBAL PROPERTY QM_REGISTERED_TARGETS)
    set(keys "")
    foreach(target ${targets})
        get_target_property(links ${target} LINK_LIBRARIES)
        get_target_property(options ${target} COMPILE_OPTIONS)
        get_target_property(definitions ${target} COMPILE_DEFINITIONS)
        get_target_property(type ${target} TYPE)
        qm_pch_headers_of(${target} headers)
        string(SHA1 key "${type}|${links}|${options}|${definitions}|${headers}")
        if(NOT key IN_LIST keys)
            list(APPEND keys ${key})
            set(members_${key} "")
            set(files_${key} 0)
        endif()
        list(APPEND members_${key} ${target})
        qm_pch_skip_unfit_files(${target})
        get_target_property(sources ${target} SOURCES)
        list(FILTER sources INCLUDE REGEX "\\.cpp$")
        list(LENGTH sources count)
        math(EXPR files_${key} "${files_${key}} + ${count}")
    endforeach()
    foreach(key ${keys})
        if(files_${key} LESS 2)
            continue()
        endif()
        list(GET members_${key} 0 first)
        qm_pch_headers_of(${first} headers)
        target_precompile_headers(${first} PRIVATE ${headers})
        set(others ${members_${key}})
        list(POP_FRONT others)
        foreach(target ${others})
            target_precompile_headers(${target} REUSE_FROM ${first})
        endforeach()
    endforeach()
endfunction()
