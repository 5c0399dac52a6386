# The program loads its images from applicationDirPath() + "/icons/", so every runnable
# target gets a copy of the folder beside it: the images only, not the program that draws them.
file(GLOB SOLMIR_ICON_FILES CONFIGURE_DEPENDS ${SOLMIR_ICONS_DIR}/*.png ${SOLMIR_ICONS_DIR}/*.gif)
function(solmir_copy_icons target dir)
    if(SOLMIR_ICON_FILES)
        set(copy COMMAND ${CMAKE_COMMAND} -E copy_if_different ${SOLMIR_ICON_FILES} ${dir}/icons)
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}/icons
        ${copy}
        VERBATIM)
endfunction()

# One test executable per tst_*.cpp. Each lives in a folder of its own: conf.ini and the
# icons sit next to the executable, so parallel tests must not share a folder.
function(solmir_add_test source)
    get_filename_component(name ${source} NAME_WE)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR}/tests ${source})
    get_filename_component(subdir ${rel} DIRECTORY)
    set(dir ${CMAKE_BINARY_DIR}/tests-bin/${name})
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE solmir3core solmir3testsupport Qt::Test)
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${dir})
    solmir_copy_icons(${name} ${dir})
    add_test(NAME ${subdir}/${name} COMMAND ${name})
    set_tests_properties(${subdir}/${name} PROPERTIES
        LABELS "unit;${subdir}"
        TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false;ASAN_OPTIONS=detect_leaks=0;TSAN_OPTIONS=second_deadlock_stack=1 suppressions=${CMAKE_SOURCE_DIR}/cmake/tsan.supp")
endfunction()
