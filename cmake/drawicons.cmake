# The program that draws the images in icons/. It is run by hand when a picture changes
# (solmir3-drawicons <outdir> [contact-sheet.png]); the images themselves are committed.
add_executable(solmir3-drawicons EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/icons/tools/drawicons.cpp)
target_link_libraries(solmir3-drawicons PRIVATE Qt::Gui)
set_target_properties(solmir3-drawicons PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tools)
