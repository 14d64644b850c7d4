# vexacore: the reader session a window or a command line drives, and the
# operator's questions it asks.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/operatorprompt.h
    ${CMAKE_CURRENT_LIST_DIR}/commandcycle.cpp ${CMAKE_CURRENT_LIST_DIR}/commandcycle.h
    ${CMAKE_CURRENT_LIST_DIR}/readersession.cpp ${CMAKE_CURRENT_LIST_DIR}/readersession.h
    ${CMAKE_CURRENT_LIST_DIR}/sessionfirmwarehost.cpp ${CMAKE_CURRENT_LIST_DIR}/sessionfirmwarehost.h)
# The tag log of the session, and its table for any view.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/taglog.cpp ${CMAKE_CURRENT_LIST_DIR}/taglog.h
    ${CMAKE_CURRENT_LIST_DIR}/taglogmodel.cpp ${CMAKE_CURRENT_LIST_DIR}/taglogmodel.h
    ${CMAKE_CURRENT_LIST_DIR}/taglogexport.cpp ${CMAKE_CURRENT_LIST_DIR}/taglogexport.h)
# The spreadsheet export's library (Debian's libxlsxwriter).
find_package(PkgConfig REQUIRED)
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)
target_link_libraries(vexacore PRIVATE PkgConfig::XLSXWRITER)
