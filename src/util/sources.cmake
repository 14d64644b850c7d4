# vexacore: reading hexadecimal and decimal input and the limits of the
# fields it is typed into; reading and replacing files.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/fieldlimits.cpp ${CMAKE_CURRENT_LIST_DIR}/fieldlimits.h
    ${CMAKE_CURRENT_LIST_DIR}/hextext.cpp ${CMAKE_CURRENT_LIST_DIR}/hextext.h
    ${CMAKE_CURRENT_LIST_DIR}/linestore.cpp ${CMAKE_CURRENT_LIST_DIR}/linestore.h
    ${CMAKE_CURRENT_LIST_DIR}/regularfile.cpp ${CMAKE_CURRENT_LIST_DIR}/regularfile.h)
