# vexacore: the pure codecs (option values to frames, answers to reports).
target_sources(vexacore PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/tagcodec.cpp ${CMAKE_CURRENT_LIST_DIR}/tagcodec.h
    ${CMAKE_CURRENT_LIST_DIR}/iso15693.cpp ${CMAKE_CURRENT_LIST_DIR}/iso15693.h
    ${CMAKE_CURRENT_LIST_DIR}/iso15693report.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tagit.cpp ${CMAKE_CURRENT_LIST_DIR}/tagit.h
    ${CMAKE_CURRENT_LIST_DIR}/tagitreport.cpp
    ${CMAKE_CURRENT_LIST_DIR}/iso14443.cpp ${CMAKE_CURRENT_LIST_DIR}/iso14443.h)
# vexaui: the tab pages and their input widgets.
target_sources(vexaui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/tagcontext.h
    ${CMAKE_CURRENT_LIST_DIR}/fieldedit.cpp ${CMAKE_CURRENT_LIST_DIR}/fieldedit.h
    ${CMAKE_CURRENT_LIST_DIR}/commandlist.cpp ${CMAKE_CURRENT_LIST_DIR}/commandlist.h
    ${CMAKE_CURRENT_LIST_DIR}/pagescroll.cpp ${CMAKE_CURRENT_LIST_DIR}/pagescroll.h
    ${CMAKE_CURRENT_LIST_DIR}/isopage.cpp ${CMAKE_CURRENT_LIST_DIR}/isopage.h
    ${CMAKE_CURRENT_LIST_DIR}/tagitpage.cpp ${CMAKE_CURRENT_LIST_DIR}/tagitpage.h
    ${CMAKE_CURRENT_LIST_DIR}/iso14443page.cpp ${CMAKE_CURRENT_LIST_DIR}/iso14443page.h)
