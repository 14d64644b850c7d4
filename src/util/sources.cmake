# vexacore: reading hexadecimal and decimal input.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/hextext.cpp ${CMAKE_CURRENT_LIST_DIR}/hextext.h
    ${CMAKE_CURRENT_LIST_DIR}/linestore.cpp ${CMAKE_CURRENT_LIST_DIR}/linestore.h)
