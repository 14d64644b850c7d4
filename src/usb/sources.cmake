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
# In the program's own library folder ("../lib/<multiarch>/vexahost" beside
# its bin folder), where it looks after the search path.
vexa_install_binary(AtUsbHid ${VEXA_PRIVATE_LIBDIR} main maindbg)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/link/usbtransport.cpp APPEND PROPERTY
    COMPILE_DEFINITIONS VEXA_PRIVATE_LIBDIR="${VEXA_PRIVATE_LIBDIR}")
install(FILES ${CMAKE_SOURCE_DIR}/dist/70-vexa-reader.rules DESTINATION lib/udev/rules.d COMPONENT main)
