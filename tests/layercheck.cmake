# Reads every #include "..." under src/ and sim/ and fails, naming the file
# and the line, when a file includes from a layer it may not: a layer above
# its own, ui from core, anything of the host from the simulator but the
# frame check and the USB library's header.
#   cmake -DROOT=<source folder> -P tests/layercheck.cmake
#
# The one table of directions (docs/DESIGN.md draws the same): a layer may
# include its own folder, the layers named after it and whatever those may
# include. A name ending in .h allows that one file (relative to src/).
cmake_minimum_required(VERSION 3.21)

set(layers
    "usb"
    "core/util"
    "core/wire       core/util"
    "core/codecs     core/wire"
    "core/settings   core/codecs"
    "core/link       core/codecs usb"
    "core/loader     core/link"
    "core/session    core/loader"
    "ui/widgets      core/session core/settings"
    "ui/pages        ui/widgets"
    "ui/dialogs      ui/widgets"
    "ui/loader       ui/widgets"
    "ui/memory       ui/widgets"
    "ui/window       ui/pages ui/dialogs ui/loader ui/memory"
    "ctl             core/session core/settings"
    "agent           core/session core/settings ctl"
    "sim             core/wire/framecheck.h usb/atusbhid.h usb/notifytarget.h")

if(NOT ROOT)
    message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P layercheck.cmake")
endif()

# names, and below(<name>) = everything it may include, closed over the table
set(names "")
foreach(row IN LISTS layers)
    string(REGEX REPLACE "[ \t]+" ";" row "${row}")
    list(POP_FRONT row name)
    list(APPEND names ${name})
    set(below_${name} ${row})
endforeach()
set(changed TRUE)
while(changed)
    set(changed FALSE)
    foreach(name IN LISTS names)
        set(all ${below_${name}})
        foreach(under IN LISTS below_${name})
            list(APPEND all ${below_${under}})
        endforeach()
        list(REMOVE_DUPLICATES all)
        list(LENGTH all n)
        list(LENGTH below_${name} before)
        if(NOT n EQUAL before)
            set(below_${name} ${all})
            set(changed TRUE)
        endif()
    endforeach()
endwhile()

# The layer of a path relative to ROOT: the longest name its folder starts with.
function(layer_of path out)
    set(best "")
    foreach(name IN LISTS names)
        if(name STREQUAL "sim")
            set(prefix "sim/")
        else()
            set(prefix "src/${name}/")
        endif()
        string(FIND "${path}" "${prefix}" at)
        string(LENGTH "${name}" len)
        string(LENGTH "${best}" bestlen)
        if(at EQUAL 0 AND len GREATER bestlen)
            set(best ${name})
        endif()
    endforeach()
    set(${out} "${best}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE files RELATIVE ${ROOT}
    ${ROOT}/src/*.h ${ROOT}/src/*.cpp ${ROOT}/sim/*.h ${ROOT}/sim/*.cpp)
list(LENGTH files count)
if(count LESS 50)
    message(FATAL_ERROR "layercheck: only ${count} files under ${ROOT}/src and sim")
endif()

set(faults "")
foreach(file IN LISTS files)
    layer_of(${file} own)
    if(own STREQUAL "")
        list(APPEND faults "${file}: in no layer of tests/layercheck.cmake")
        continue()
    endif()
    get_filename_component(dir ${file} DIRECTORY)
    file(STRINGS ${ROOT}/${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[^\"]*\"([^\"]+)\".*" "\\1" name "${line}")
        # where the compiler finds it: beside the file, src/, sim/, the USB
        # library's folder; a configured header by its .in
        set(found "")
        foreach(base ${dir} src sim src/usb)
            foreach(candidate ${base}/${name} ${base}/${name}.in)
                if(NOT found AND EXISTS ${ROOT}/${candidate})
                    get_filename_component(found ${ROOT}/${candidate} ABSOLUTE)
                    file(RELATIVE_PATH found ${ROOT} ${found})
                endif()
            endforeach()
        endforeach()
        if(NOT found)
            if(NOT name MATCHES "\\.moc$")
                list(APPEND faults "${file}: #include \"${name}\" is nowhere in src/ or sim/")
            endif()
            continue()
        endif()
        layer_of(${found} theirs)
        string(REGEX REPLACE "^src/" "" fromsrc "${found}")
        if(theirs STREQUAL own OR theirs IN_LIST below_${own} OR fromsrc IN_LIST below_${own})
            continue()
        endif()
        if(theirs STREQUAL "")
            set(theirs "no layer")
        endif()
        list(APPEND faults "${file}: #include \"${name}\": ${own} may not include ${theirs}")
    endforeach()
endforeach()

if(faults)
    foreach(fault IN LISTS faults)
        message(NOTICE "${fault}")
    endforeach()
    list(LENGTH faults n)
    message(FATAL_ERROR "layercheck: ${n} includes against the layers (table at the top of tests/layercheck.cmake)")
endif()
message(STATUS "layercheck: ${count} files, every include in its direction")
