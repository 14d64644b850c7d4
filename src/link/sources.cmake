# vexacore: frames, reception and report texts, the link object, the
# transports, port names and device changes. Nothing here draws.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/frame.cpp ${CMAKE_CURRENT_LIST_DIR}/frame.h
    ${CMAKE_CURRENT_LIST_DIR}/framecheck.h
    ${CMAKE_CURRENT_LIST_DIR}/frameview.h
    ${CMAKE_CURRENT_LIST_DIR}/report.cpp ${CMAKE_CURRENT_LIST_DIR}/report.h
    ${CMAKE_CURRENT_LIST_DIR}/reception.cpp ${CMAKE_CURRENT_LIST_DIR}/reception.h
    ${CMAKE_CURRENT_LIST_DIR}/usbreports.cpp ${CMAKE_CURRENT_LIST_DIR}/usbreports.h
    ${CMAKE_CURRENT_LIST_DIR}/transport.h
    ${CMAKE_CURRENT_LIST_DIR}/readerlink.cpp ${CMAKE_CURRENT_LIST_DIR}/readerlink.h
    ${CMAKE_CURRENT_LIST_DIR}/readeraddressing.h
    ${CMAKE_CURRENT_LIST_DIR}/portmap.cpp ${CMAKE_CURRENT_LIST_DIR}/portmap.h
    ${CMAKE_CURRENT_LIST_DIR}/serialtransport.cpp ${CMAKE_CURRENT_LIST_DIR}/serialtransport.h
    ${CMAKE_CURRENT_LIST_DIR}/usbtransport.cpp ${CMAKE_CURRENT_LIST_DIR}/usbtransport.h
    ${CMAKE_CURRENT_LIST_DIR}/devicewatch.cpp ${CMAKE_CURRENT_LIST_DIR}/devicewatch.h)
find_package(PkgConfig REQUIRED)
pkg_check_modules(UDEV REQUIRED IMPORTED_TARGET libudev)
target_link_libraries(vexacore PUBLIC PkgConfig::UDEV)
