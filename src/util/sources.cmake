# vexacore: reading hexadecimal and decimal input; reading and replacing files.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/hextext.cpp ${CMAKE_CURRENT_LIST_DIR}/hextext.h
    ${CMAKE_CURRENT_LIST_DIR}/linestore.cpp ${CMAKE_CURRENT_LIST_DIR}/linestore.h
    ${CMAKE_CURRENT_LIST_DIR}/regularfile.cpp ${CMAKE_CURRENT_LIST_DIR}/regularfile.h)
