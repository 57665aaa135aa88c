# A window bench hosts the window itself, through the program's own start path: it needs the
# views, the program's start-up code and the test fixtures (WindowBench.h).
function(qm_window_bench target)
    set(app ${PROJECT_SOURCE_DIR}/src/app)
    target_sources(${target} PRIVATE ${app}/QuillmarkApp.cpp ${app}/QuillmarkApp.h
        ${app}/SingleInstance.cpp ${app}/SingleInstance.h
        ${app}/CursorBlinkRest.cpp ${app}/CursorBlinkRest.h)
    target_link_libraries(${target} PRIVATE qm_ui qm_uiplugin qm_test_support Qt6::Widgets
        Qt6::Network)
    target_compile_definitions(${target} PRIVATE QM_VERSION="${PROJECT_VERSION}")
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    # Its test runs under an X server (bench/CMakeLists.txt).
    set(window_bench ON PARENT_SCOPE)
endfunction()
