# How the programs and the USB libraries are installed: stripped as Debian
# strips them (dh_strip's sections), their debug information by build ID in
# lib/debug/.build-id under a component of its own (maindbg, simdbg), which
# the package build makes into vexahost-dbgsym and vexahost-sim-dbgsym. A
# plain "cmake --install" leaves the debug components out; ask for them with
# "--component maindbg" and "--component simdbg".

# The private folder of the USB libraries: under the multiarch folder where
# there is one, as Debian keeps private libraries out of ldconfig's folders.
if(CMAKE_LIBRARY_ARCHITECTURE)
    set(VEXA_PRIVATE_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}/vexahost)
else()
    set(VEXA_PRIVATE_LIBDIR lib/vexahost)
endif()

# vexa_install_binary(TARGET DESTINATION COMPONENT DEBUG_COMPONENT)
function(vexa_install_binary target destination component debug_component)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
        install(TARGETS ${target} LIBRARY DESTINATION ${destination} COMPONENT ${component})
        set(strip_args --strip-unneeded)
    else()
        install(TARGETS ${target} RUNTIME DESTINATION ${destination} COMPONENT ${component})
        set(strip_args)
    endif()
    find_program(VEXA_OBJCOPY NAMES objcopy)
    find_program(VEXA_READELF NAMES readelf)
    find_program(VEXA_STRIP NAMES strip)
    install(CODE "
        set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${target}>\")
        execute_process(COMMAND \"${VEXA_STRIP}\" --remove-section=.comment --remove-section=.note ${strip_args}
            \"\${installed}\" RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR \"cannot strip \${installed}\")
        endif()" COMPONENT ${component})
    install(CODE "
        execute_process(COMMAND \"${VEXA_READELF}\" -n \"$<TARGET_FILE:${target}>\" OUTPUT_VARIABLE notes)
        if(NOT notes MATCHES \"Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)\")
            message(FATAL_ERROR \"$<TARGET_FILE:${target}> has no build ID\")
        endif()
        set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/debug/.build-id/\${CMAKE_MATCH_1}\")
        file(MAKE_DIRECTORY \"\${folder}\")
        execute_process(COMMAND \"${VEXA_OBJCOPY}\" --only-keep-debug --compress-debug-sections
            \"$<TARGET_FILE:${target}>\" \"\${folder}/\${CMAKE_MATCH_2}.debug\" RESULT_VARIABLE failed)
        if(failed)
            message(FATAL_ERROR \"cannot split the debug information of $<TARGET_FILE:${target}>\")
        endif()
        file(CHMOD \"\${folder}/\${CMAKE_MATCH_2}.debug\" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)"
        COMPONENT ${debug_component} EXCLUDE_FROM_ALL)
endfunction()
