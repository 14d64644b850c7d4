# vexacore: the loader's wire format, the transfer's state machine and the
# firmware file rules. vexaui: the loader window and the upgrade procedure.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.cpp ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.h)
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/packetwatcher.cpp ${CMAKE_CURRENT_LIST_DIR}/packetwatcher.h
    ${CMAKE_CURRENT_LIST_DIR}/loaderwindow.cpp ${CMAKE_CURRENT_LIST_DIR}/loaderwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/loaderusblink.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwareupgrade.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwareupgrade.h)
