# vexactl: the reader from the shell, on vexacore alone (no widgets, no GUI).
# Its command line and output are a library of their own so tests reach them.
add_library(vexactllib STATIC
    ${CMAKE_CURRENT_LIST_DIR}/commandline.cpp ${CMAKE_CURRENT_LIST_DIR}/commandline.h
    ${CMAKE_CURRENT_LIST_DIR}/commandtable.h ${CMAKE_CURRENT_LIST_DIR}/help.cpp
    ${CMAKE_CURRENT_LIST_DIR}/commands_reader.cpp ${CMAKE_CURRENT_LIST_DIR}/commands_iso15693.cpp
    ${CMAKE_CURRENT_LIST_DIR}/commands_tagit.cpp ${CMAKE_CURRENT_LIST_DIR}/commands_iso14443.cpp
    ${CMAKE_CURRENT_LIST_DIR}/commandrun.cpp ${CMAKE_CURRENT_LIST_DIR}/commandrun.h
    ${CMAKE_CURRENT_LIST_DIR}/script.cpp ${CMAKE_CURRENT_LIST_DIR}/script.h
    ${CMAKE_CURRENT_LIST_DIR}/stopsignal.cpp ${CMAKE_CURRENT_LIST_DIR}/stopsignal.h
    ${CMAKE_CURRENT_LIST_DIR}/connect.cpp ${CMAKE_CURRENT_LIST_DIR}/connect.h
    ${CMAKE_CURRENT_LIST_DIR}/output.cpp ${CMAKE_CURRENT_LIST_DIR}/output.h
    ${CMAKE_CURRENT_LIST_DIR}/terminal.cpp ${CMAKE_CURRENT_LIST_DIR}/terminal.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwarerun.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwarerun.h)
target_link_libraries(vexactllib PUBLIC vexacore)

qt_add_executable(vexactl ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(vexactl PRIVATE vexactllib)
