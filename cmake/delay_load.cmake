# Delay-import libraries for the DLLs the installer loads only when a step needs them, and the
# check that the linked installer imports nothing else at start.
#
# An exe's ordinary imports are loaded before its first instruction runs, searched for in the
# exe's own folder first: a planted version.dll beside a downloaded installer would run. A
# delay-import library instead calls the loader stub of the toolchain (__delayLoadHelper2, in
# libmingwex) the first time one of the DLL's functions is called; the program's hook
# (src/utils/system_libraries.cpp) then loads the DLL from the system folder. It also means a
# run pays only for the DLLs it uses: a silent plug-in installation never loads the shell or COM.
# (libdelayimp.a of this toolchain is an empty placeholder; the helper is in libmingwex.)
#
# The callers must be compiled with DECLSPEC_IMPORT defined empty: a call through a dllimport
# declaration reaches the function by its __imp_ pointer only, and GNU ld then drops the stub
# that pointer starts out at, so the first call would jump to nowhere (check_imports.py catches
# that). Without dllimport a call goes through the stub's jump, which costs nothing measurable.
#
# Each cmake/delay-load/NAME.def lists the functions of NAME.dll that the program calls, with
# their stdcall argument sizes; dlltool makes libNAME_delay.a from it when CMake configures.

set(DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay-load)
file(GLOB DELAY_LOAD_DEFS CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/delay-load/*.def)
set(DELAY_LOAD_LIBRARIES)
file(MAKE_DIRECTORY ${DELAY_LOAD_DIR})
foreach(def ${DELAY_LOAD_DEFS})
    get_filename_component(name ${def} NAME_WE)
    set(library ${DELAY_LOAD_DIR}/lib${name}_delay.a)
    # --kill-at: the program's references carry the @N suffix, the DLL's exports do not.
    # In the library's folder: dlltool names the library's symbols after the path it is given.
    execute_process(
        COMMAND ${CMAKE_DLLTOOL} --input-def ${def} --output-delaylib lib${name}_delay.a
                --dllname ${name}.dll --kill-at
        WORKING_DIRECTORY ${DELAY_LOAD_DIR}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dlltool could not make ${library} from ${def}")
    endif()
    list(APPEND DELAY_LOAD_LIBRARIES ${library})
endforeach()

# The DLLs an exe may import at start: those the system always takes from its own folder
# (known DLLs, loaded into every process anyway).
set(START_IMPORTS_ALLOWED kernel32 user32 gdi32 advapi32 msvcrt)

# After each link of target: fails the build when the exe imports another DLL at start, naming
# the .def file to extend (a call to a function missing there links against the ordinary import
# library, which the toolchain adds to every link), or when a delay-import entry lost its loading
# stub (see cmake/check_imports.py). Runs before the exe is stripped: it finds the delay-import
# tables by their symbols.
function(check_start_imports target)
    list(JOIN START_IMPORTS_ALLOWED "," allowed)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/check_imports.py $<TARGET_FILE:${target}>
                ${allowed}
        VERBATIM)
endfunction()
