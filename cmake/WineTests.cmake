# The environment of the Windows build's tests, which CTest runs under wine (the build's
# CMAKE_CROSSCOMPILING_EMULATOR). Included from tests/CMakeLists.txt when WIN32.
#
# Sets KIVORA_TEST_ENVIRONMENT for kivora_add_test, and KIVORA_RUNTIME_DIRS (the folders of the
# DLLs a Windows program of this build loads: Qt's and the mingw runtime's) and
# KIVORA_WINEPATH (the same in wine's spelling) for the other tests.

# kivora_wine_path(OUT path): a Linux path as a Windows program under wine reaches it. Z: is the
# root of the Linux file system in every wine prefix; the drive letter keeps the path valid when
# the program has moved to a folder on another drive (C:, its temporary files).
function(kivora_wine_path out path)
    string(REPLACE "/" "\\" windows "Z:${path}")
    set(${out} "${windows}" PARENT_SCOPE)
endfunction()

set(KIVORA_RUNTIME_DIRS "${QT6_INSTALL_PREFIX}/${QT6_INSTALL_BINS}")
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    get_filename_component(dir "${found}" DIRECTORY)
    get_filename_component(dir "${dir}" REALPATH)
    list(APPEND KIVORA_RUNTIME_DIRS "${dir}")
endforeach()
list(REMOVE_DUPLICATES KIVORA_RUNTIME_DIRS)
set(KIVORA_RUNTIME_DIRS "${KIVORA_RUNTIME_DIRS}" CACHE INTERNAL "folders of the DLLs the Windows build loads")

set(winepath "")
foreach(dir IN LISTS KIVORA_RUNTIME_DIRS)
    kivora_wine_path(w "${dir}")
    list(APPEND winepath "${w}")
endforeach()
# WINEPATH separates its folders with ";", which a CTest ENVIRONMENT entry must escape.
list(JOIN winepath "\\;" KIVORA_WINEPATH)

# The offscreen platform of Qt for Windows reads its fonts from one folder: the Japanese face
# of the program's texts and a Latin one, linked from the system's fonts.
set(KIVORA_TEST_FONT_DIR ${CMAKE_BINARY_DIR}/test-fonts)
file(MAKE_DIRECTORY ${KIVORA_TEST_FONT_DIR})
foreach(font opentype/ipafont-gothic/ipagp.ttf opentype/ipafont-gothic/ipag.ttf
             truetype/dejavu/DejaVuSans.ttf truetype/dejavu/DejaVuSans-Bold.ttf)
    get_filename_component(name ${font} NAME)
    if(EXISTS /usr/share/fonts/${font})
        file(CREATE_LINK /usr/share/fonts/${font} ${KIVORA_TEST_FONT_DIR}/${name} SYMBOLIC)
    else()
        message(STATUS "/usr/share/fonts/${font} not found: tests under wine go without ${name}")
    endif()
endforeach()

kivora_wine_path(font_dir "${KIVORA_TEST_FONT_DIR}")
kivora_wine_path(source_dir "${CMAKE_SOURCE_DIR}")
# What every program under wine gets: WINEDEBUG and WINEDLLOVERRIDES keep wine quiet and skip its
# Mono and Gecko set-up; WINEPATH finds the DLLs.
set(KIVORA_WINE_ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=;WINEPATH=${KIVORA_WINEPATH}")
# The QTest programs on top: the offscreen platform with the test fonts; QTest logs to the
# debugger instead of a pipe unless told otherwise.
set(KIVORA_TEST_ENVIRONMENT
    "WINEQT_QPA_PLATFORM=offscreen;WINEQT_QPA_FONTDIR=${font_dir};WINEQT_FORCE_STDERR_LOGGING=1;${KIVORA_WINE_ENVIRONMENT};KIVORA_SOURCE_DIR=${source_dir}")
