# vexacore: the loader's wire format, the transfer's state machine, the
# firmware file rules, the packet watcher, the loader and the upgrade
# procedure. vexaui: the loader window and the file dialog.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.cpp ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.h
    ${CMAKE_CURRENT_LIST_DIR}/packetwatcher.cpp ${CMAKE_CURRENT_LIST_DIR}/packetwatcher.h
    ${CMAKE_CURRENT_LIST_DIR}/loaderusblink.h ${CMAKE_CURRENT_LIST_DIR}/firmwarehost.h
    ${CMAKE_CURRENT_LIST_DIR}/loaderinterface.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwareoutcome.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwareloader.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwareloader.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwareupgrade.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwareupgrade.h)
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/loaderwindow.cpp ${CMAKE_CURRENT_LIST_DIR}/loaderwindow.h)
