# vexaui: widget plumbing shared by the tag pages, the dialogs and the main
# window.
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/messageboxprompt.cpp ${CMAKE_CURRENT_LIST_DIR}/messageboxprompt.h)
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/accessibility.cpp ${CMAKE_CURRENT_LIST_DIR}/accessibility.h)
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/windowframe.cpp ${CMAKE_CURRENT_LIST_DIR}/windowframe.h)
