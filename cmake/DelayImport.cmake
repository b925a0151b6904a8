# Delay-loaded system DLLs for MinGW-w64, whose linker has no /DELAYLOAD.
#
#     lumexia_delay_import(NAME)   e.g. lumexia_delay_import(winhttp)
#
# defines the interface library lumexia_delay_NAME: linked instead of NAME, the program
# loads NAME.dll at the first call of one of its functions rather than before its entry
# point. The delay-import library is made once, when the project is configured, from the
# toolchain's own import library (every function it exports) by dlltool, and resolved at
# run time by __delayLoadHelper2 from the MinGW runtime. A DLL that cannot be loaded then
# ends the process with an exception at that first call: use it for system DLLs only.
set(lumexia_delay_dir ${CMAKE_BINARY_DIR}/delayimp)

function(lumexia_delay_import name)
    find_library(lumexia_import_${name} NAMES lib${name}.a REQUIRED NO_CACHE)
    set(import ${lumexia_import_${name}})
    set(def ${lumexia_delay_dir}/${name}.def)
    set(out ${lumexia_delay_dir}/lib${name}_delay.a)
    # The functions are the import library's code thunks: "T Name" on x86_64, "T _Name@N"
    # on i686, where dlltool's -k then imports them by their bare name.
    execute_process(COMMAND ${CMAKE_NM} --defined-only ${import}
                    OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "cannot list ${import}")
    endif()
    string(REGEX MATCHALL "[\r\n][0-9a-fA-F]+ T [^\r\n]+" thunks "\n${symbols}")
    set(exports "")
    foreach(line IN LISTS thunks)
        string(REGEX REPLACE ".* T " "" symbol "${line}")
        if(NOT LUMEXIA_64)
            string(REGEX REPLACE "^_" "" symbol "${symbol}")
        endif()
        string(APPEND exports "    ${symbol}\n")
    endforeach()
    if(exports STREQUAL "")
        message(FATAL_ERROR "no functions found in ${import}")
    endif()
    file(MAKE_DIRECTORY ${lumexia_delay_dir})
    file(WRITE ${def} "LIBRARY ${name}.dll\nEXPORTS\n${exports}")
    execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${def} -D ${name}.dll -y ${out}
                    RESULT_VARIABLE failed)
    if(failed OR NOT EXISTS ${out})
        message(FATAL_ERROR "dlltool made no delay-import library for ${name}")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${import})
    add_library(lumexia_delay_${name} INTERFACE)
    target_link_libraries(lumexia_delay_${name} INTERFACE ${out})
endfunction()
