# The USB HID library AtUsbHid on hidapi (hidraw on Linux): a shared library
# the program loads at run time, never links. It lands in build/src/usb,
# beside the program's folder, where the program looks after the search path.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(HIDAPI REQUIRED IMPORTED_TARGET hidapi-hidraw)
add_library(AtUsbHid SHARED
    ${CMAKE_CURRENT_LIST_DIR}/atusbhid_hidapi.cpp
    ${CMAKE_CURRENT_LIST_DIR}/hiddescriptor.cpp ${CMAKE_CURRENT_LIST_DIR}/hiddescriptor.h
    ${CMAKE_CURRENT_LIST_DIR}/atusbhid.h ${CMAKE_CURRENT_LIST_DIR}/notifytarget.h)
target_include_directories(AtUsbHid PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(AtUsbHid PRIVATE PkgConfig::HIDAPI PkgConfig::UDEV Threads::Threads)
set_target_properties(AtUsbHid PROPERTIES CXX_VISIBILITY_PRESET hidden
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/src/usb)
add_dependencies(vexahost AtUsbHid)
# Beside the program's "../lib/vexahost", where it looks after the search path.
install(TARGETS AtUsbHid LIBRARY DESTINATION lib/vexahost)
install(FILES ${CMAKE_SOURCE_DIR}/dist/70-vexa-reader.rules DESTINATION lib/udev/rules.d)
