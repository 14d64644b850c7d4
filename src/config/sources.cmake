# vexacore: reader-management commands, their reports and the option state.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/readeroptions.h
    ${CMAKE_CURRENT_LIST_DIR}/management.cpp ${CMAKE_CURRENT_LIST_DIR}/management.h
    ${CMAKE_CURRENT_LIST_DIR}/isooptions.cpp ${CMAKE_CURRENT_LIST_DIR}/isooptions.h
    ${CMAKE_CURRENT_LIST_DIR}/configframes.cpp ${CMAKE_CURRENT_LIST_DIR}/configframes.h)

# The configuration dialogs: they read and write the options they are handed
# and never touch the port.
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/dialogrunner.cpp ${CMAKE_CURRENT_LIST_DIR}/dialogrunner.h
    ${CMAKE_CURRENT_LIST_DIR}/configdialog.cpp ${CMAKE_CURRENT_LIST_DIR}/configdialog.h
    ${CMAKE_CURRENT_LIST_DIR}/wieganddialog.cpp ${CMAKE_CURRENT_LIST_DIR}/wieganddialog.h
    ${CMAKE_CURRENT_LIST_DIR}/isooptionsdialog.cpp ${CMAKE_CURRENT_LIST_DIR}/isooptionsdialog.h
    ${CMAKE_CURRENT_LIST_DIR}/encryptiondialog.cpp ${CMAKE_CURRENT_LIST_DIR}/encryptiondialog.h
    ${CMAKE_CURRENT_LIST_DIR}/addressdialog.cpp ${CMAKE_CURRENT_LIST_DIR}/addressdialog.h
    ${CMAKE_CURRENT_LIST_DIR}/audioleddialog.cpp ${CMAKE_CURRENT_LIST_DIR}/audioleddialog.h
    ${CMAKE_CURRENT_LIST_DIR}/activateleddialog.cpp ${CMAKE_CURRENT_LIST_DIR}/activateleddialog.h
    ${CMAKE_CURRENT_LIST_DIR}/activateaudiodialog.cpp ${CMAKE_CURRENT_LIST_DIR}/activateaudiodialog.h)
