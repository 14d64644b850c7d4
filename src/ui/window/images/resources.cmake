# The application icon and the tool bar image list (tool00 to tool15 at 1x,
# @2x and @3x), drawn by
# tools/iconforge: run tools/make-icons.sh to redraw them. On a static library
# qt_add_resources links the resource objects straight into the executable, so
# the images register without Q_INIT_RESOURCE.
qt_add_resources(vexaui vexa_images PREFIX "/images" BASE ${CMAKE_CURRENT_LIST_DIR} FILES
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-16.png
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-32.png
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-48.png
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-64.png
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-128.png
    ${CMAKE_CURRENT_LIST_DIR}/vexahost-256.png
    ${CMAKE_CURRENT_LIST_DIR}/tool00.png
    ${CMAKE_CURRENT_LIST_DIR}/tool00@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool00@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool01.png
    ${CMAKE_CURRENT_LIST_DIR}/tool01@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool01@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool02.png
    ${CMAKE_CURRENT_LIST_DIR}/tool02@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool02@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool03.png
    ${CMAKE_CURRENT_LIST_DIR}/tool03@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool03@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool04.png
    ${CMAKE_CURRENT_LIST_DIR}/tool04@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool04@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool05.png
    ${CMAKE_CURRENT_LIST_DIR}/tool05@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool05@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool06.png
    ${CMAKE_CURRENT_LIST_DIR}/tool06@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool06@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool07.png
    ${CMAKE_CURRENT_LIST_DIR}/tool07@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool07@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool08.png
    ${CMAKE_CURRENT_LIST_DIR}/tool08@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool08@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool09.png
    ${CMAKE_CURRENT_LIST_DIR}/tool09@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool09@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool10.png
    ${CMAKE_CURRENT_LIST_DIR}/tool10@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool10@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool11.png
    ${CMAKE_CURRENT_LIST_DIR}/tool11@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool11@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool12.png
    ${CMAKE_CURRENT_LIST_DIR}/tool12@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool12@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool13.png
    ${CMAKE_CURRENT_LIST_DIR}/tool13@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool13@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool14.png
    ${CMAKE_CURRENT_LIST_DIR}/tool14@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool14@3x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool15.png
    ${CMAKE_CURRENT_LIST_DIR}/tool15@2x.png
    ${CMAKE_CURRENT_LIST_DIR}/tool15@3x.png
)
