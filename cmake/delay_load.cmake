# Delay-import libraries for the DLLs the installer loads only when a step needs them, and the
# check that the linked installer imports nothing else at start.
#
# An exe's ordinary imports are loaded before its first instruction runs, searched for in the
# exe's own folder first: a planted version.dll beside a downloaded installer would run. A
# delay-import library instead calls a loader stub (__delayLoadHelper2) the first time one of the
# DLL's functions is called; the program's own stub (src/utils/system_libraries.cpp, in place of
# the toolchain's in libmingwex) loads the DLL from the system folder. It also means a run pays
# only for the DLLs it uses: a silent plug-in installation never loads the shell or COM.
#
# The callers must be compiled with DECLSPEC_IMPORT defined empty: a call through a dllimport
# declaration reaches the function by its __imp_ pointer only, and GNU ld then drops the stub
# that pointer starts out at, so the first call would jump to nowhere (check_imports.py catches
# that). Without dllimport a call goes through the stub's jump, which costs nothing measurable.
#
# The delay-import library of each DLL is made when CMake configures, from the toolchain's own
# import library: its function symbols become a .def file (build/delay-load/NAME.def) for dlltool,
# so every function of the DLL can be called without a list to keep.
set(DELAY_LOADED_DLLS user32 gdi32 advapi32 comctl32 comdlg32 ole32 shell32 version wininet)
set(DELAY_LOAD_DIR ${CMAKE_BINARY_DIR}/delay-load)
set(DELAY_LOAD_LIBRARIES)
file(MAKE_DIRECTORY ${DELAY_LOAD_DIR})
foreach(name ${DELAY_LOADED_DLLS})
    find_library(${name}_IMPORT_LIBRARY NAMES lib${name}.a REQUIRED)
    execute_process(COMMAND ${CMAKE_NM} ${${name}_IMPORT_LIBRARY}
        OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
    # "00000000 T _MessageBoxA@16": a function's stub; data has only its __imp_ pointer.
    string(REGEX MATCHALL "[0-9a-f]+ T _[^\r\n]+" functions "${symbols}")
    list(TRANSFORM functions REPLACE "^[0-9a-f]+ T _" "")
    list(REMOVE_DUPLICATES functions)
    list(SORT functions)
    if(failed OR NOT functions)
        message(FATAL_ERROR "no functions found in ${${name}_IMPORT_LIBRARY}")
    endif()
    list(JOIN functions "\n" exports)
    file(WRITE ${DELAY_LOAD_DIR}/${name}.def "LIBRARY ${name}.dll\nEXPORTS\n${exports}\n")
    # --kill-at: the program's references carry the @N suffix, the DLL's exports do not. In the
    # library's folder: dlltool names the library's symbols after the path it is given.
    execute_process(
        COMMAND ${CMAKE_DLLTOOL} --input-def ${name}.def --output-delaylib lib${name}_delay.a
                --dllname ${name}.dll --kill-at
        WORKING_DIRECTORY ${DELAY_LOAD_DIR}
        RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "dlltool could not make lib${name}_delay.a")
    endif()
    list(APPEND DELAY_LOAD_LIBRARIES ${DELAY_LOAD_DIR}/lib${name}_delay.a)
endforeach()

# The DLLs an exe may import at start: kernel32 and msvcrt, which load nothing else that is
# looked for beside the program. Not user32, gdi32 and advapi32, although Windows always takes
# them from its own folder: under Wine, user32 imports version.dll and gdi32 imports user32, and
# the dependencies of what an exe imports are looked for beside the exe first.
set(START_IMPORTS_ALLOWED kernel32 msvcrt)

# After each link of target: fails the build when the exe imports another DLL at start (one not
# in DELAY_LOADED_DLLS comes from its ordinary import library, which the toolchain adds to every
# link), or when a delay-import entry lost its loading stub (see cmake/check_imports.py). Runs before the exe is stripped: it finds the delay-import
# tables by their symbols.
function(check_start_imports target)
    list(JOIN START_IMPORTS_ALLOWED "," allowed)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/check_imports.py $<TARGET_FILE:${target}>
                ${allowed}
        VERBATIM)
endfunction()
