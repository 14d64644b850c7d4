# vexacore: the loader's wire format, the transfer's state machine and the
# firmware file rules. vexaui: the loader window and the upgrade procedure.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.cpp ${CMAKE_CURRENT_LIST_DIR}/loaderprotocol.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwaretransfer.h
    ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.cpp ${CMAKE_CURRENT_LIST_DIR}/firmwarefile.h)
