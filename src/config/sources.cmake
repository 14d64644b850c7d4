# vexacore: reader-management commands, their reports and the option state.
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/readeroptions.h
    ${CMAKE_CURRENT_LIST_DIR}/management.cpp ${CMAKE_CURRENT_LIST_DIR}/management.h)
