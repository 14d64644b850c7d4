# The CTest label of each test, from its name and kind, so that
# `ctest -L unit` is the quick run:
#   package   the package test and the manuals test
#   e2e       tst_e2e_* (the real main window against the simulator) and the
#             desktop check
#   widget    a Qt Test program whose main is QTEST_MAIN: it builds widgets
#             under a QApplication
#   unit      every other test: pure code under QTEST_GUILESS_MAIN or
#             QTEST_APPLESS_MAIN, the simulator's pieces, the fuzz seeds,
#             the layer check
# vexa_label_test(NAME [SOURCE file]): SOURCE is the file that holds the
# program's main; without it the name alone decides.
function(vexa_label_test name)
    cmake_parse_arguments(ARG "" "SOURCE" "" ${ARGN})
    if(name STREQUAL "package" OR name STREQUAL "manuals")
        set(label package)
    elseif(name MATCHES "^tst_e2e_" OR name MATCHES "^atspi_")
        set(label e2e)
    else()
        set(label unit)
        if(ARG_SOURCE)
            file(STRINGS ${ARG_SOURCE} widget_main REGEX "^QTEST_MAIN\\(")
            if(widget_main)
                set(label widget)
            endif()
        endif()
    endif()
    set_property(TEST ${name} APPEND PROPERTY LABELS ${label})
endfunction()
