# vexaui: the main window, its views and the program's start.
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/aboutbox.cpp ${CMAKE_CURRENT_LIST_DIR}/aboutbox.h
    ${CMAKE_CURRENT_LIST_DIR}/reportprinter.cpp ${CMAKE_CURRENT_LIST_DIR}/reportprinter.h
    ${CMAKE_CURRENT_LIST_DIR}/responsepane.cpp ${CMAKE_CURRENT_LIST_DIR}/responsepane.h
    ${CMAKE_CURRENT_LIST_DIR}/statuslight.cpp ${CMAKE_CURRENT_LIST_DIR}/statuslight.h
    ${CMAKE_CURRENT_LIST_DIR}/statusrow.cpp ${CMAKE_CURRENT_LIST_DIR}/statusrow.h
    ${CMAKE_CURRENT_LIST_DIR}/icons.cpp ${CMAKE_CURRENT_LIST_DIR}/icons.h
    ${CMAKE_CURRENT_LIST_DIR}/mainwindow.cpp ${CMAKE_CURRENT_LIST_DIR}/mainwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/commandcycle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/printing.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serialchoice.cpp
    ${CMAKE_CURRENT_LIST_DIR}/configactions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/startclose.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signalclose.cpp ${CMAKE_CURRENT_LIST_DIR}/signalclose.h
    ${CMAKE_CURRENT_LIST_DIR}/usbchoice.cpp
    ${CMAKE_CURRENT_LIST_DIR}/windowfirmwarehost.cpp ${CMAKE_CURRENT_LIST_DIR}/windowfirmwarehost.h
    ${CMAKE_CURRENT_LIST_DIR}/autoreadwindow.cpp ${CMAKE_CURRENT_LIST_DIR}/autoreadwindow.h)

# The settings store needs only Qt Core: unit tests and fuzzing use it alone.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/settingsstore.cpp ${CMAKE_CURRENT_LIST_DIR}/settingsstore.h)
