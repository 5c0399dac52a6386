# The start-up test runs a private copy of the real executable, so it needs it built and
# must know where it is.
if(TARGET tst_mainwindow AND TARGET solmir3-arm)
    target_compile_definitions(tst_mainwindow PRIVATE SOLMIR_ARM_BINARY="$<TARGET_FILE:solmir3-arm>")
    add_dependencies(tst_mainwindow solmir3-arm)
endif()
