# Settings of the hardening tests: the soak, the installed-folder test and the corpus recorder.

# The soak runs only on request (ctest -L soak); CI runs a short form through SOLMIR_SOAK_CYCLES.
if(TEST soak/tst_soak)
    set_tests_properties(soak/tst_soak PROPERTIES LABELS "soak" TIMEOUT 3600)
endif()

# The installed-folder test installs and packages this very build, so the programs it
# installs must be built first and it must know where the build and CMake are.
if(TARGET tst_installedfolder)
    target_compile_definitions(tst_installedfolder PRIVATE
        SOLMIR_CMAKE_COMMAND="${CMAKE_COMMAND}"
        SOLMIR_CPACK_COMMAND="${CMAKE_CPACK_COMMAND}"
        SOLMIR_BUILD_DIR="${CMAKE_BINARY_DIR}")
    add_dependencies(tst_installedfolder solmir3-arm)
    if(TARGET solmir3-sim)
        add_dependencies(tst_installedfolder solmir3-sim)
    endif()
    set_tests_properties(app/tst_installedfolder PROPERTIES LABELS "unit;app;install" TIMEOUT 600)
endif()

if(TARGET tst_terminationhandler)
    set_tests_properties(app/tst_terminationhandler PROPERTIES TIMEOUT 60)
endif()

# Records what RFB servers say, for the fuzzers' seed corpus; built only on request:
#   cmake --build build/default --target solmir3-rfbrecorder
if(TARGET solmir3simcore)
    add_executable(solmir3-rfbrecorder EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/fuzz/tools/rfbrecorder.cpp)
    target_link_libraries(solmir3-rfbrecorder PRIVATE solmir3core solmir3simcore)
    set_target_properties(solmir3-rfbrecorder PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
endif()
