# The program's icon, made at build time from its one source packaging/icons/kivora.svg with
# Debian's tools (rsvg-convert from librsvg2-bin, icotool from icoutils) into the build folder:
#
#   icons/hicolor/<N>x<N>/apps/kivora.png   N = 16 24 32 48 64 128 256, and
#   icons/hicolor/scalable/apps/kivora.svg  the icon theme's tree, which the Linux package installs
#   icons/kivora.ico                        every size, for kivora.exe and the MSI
#   icons/kivora-icons.qrc                  the PNGs as :/icons/kivora-<N>.png (PNG, since the
#                                           Qt for Windows has no SVG image plugin)
#
# kivora_add_icon_resources(<target>) puts the PNGs into the target's Qt resources (the windows'
# icon; kivora_ui, whose programIcon() initialises them); kivora_add_windows_resources(<target>),
# in a Windows build, the icon and the version details (packaging/windows/kivora.rc.in) into the
# program's own Windows resources, through windres.

set(KIVORA_ICON_SIZES 16 24 32 48 64 128 256)
set(KIVORA_ICON_SVG ${CMAKE_SOURCE_DIR}/packaging/icons/kivora.svg)
set(KIVORA_ICON_DIR ${CMAKE_BINARY_DIR}/icons)
set(KIVORA_ICON_ICO ${KIVORA_ICON_DIR}/kivora.ico)
set(KIVORA_ICON_QRC ${KIVORA_ICON_DIR}/kivora-icons.qrc)

# Host programs, also in the cross-build (its toolchain looks for programs on the host).
find_program(KIVORA_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(KIVORA_ICOTOOL icotool REQUIRED)

if(WIN32)
    enable_language(RC)
endif()

set(pngs)
set(qrc "<RCC>\n  <qresource prefix=\"/icons\">\n")
foreach(n IN LISTS KIVORA_ICON_SIZES)
    set(dir ${KIVORA_ICON_DIR}/hicolor/${n}x${n}/apps)
    add_custom_command(OUTPUT ${dir}/kivora.png
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${KIVORA_RSVG_CONVERT} --width ${n} --height ${n} --output ${dir}/kivora.png ${KIVORA_ICON_SVG}
        DEPENDS ${KIVORA_ICON_SVG}
        COMMENT "Icon: ${n}x${n} px"
        VERBATIM)
    list(APPEND pngs ${dir}/kivora.png)
    string(APPEND qrc "    <file alias=\"kivora-${n}.png\">hicolor/${n}x${n}/apps/kivora.png</file>\n")
endforeach()
string(APPEND qrc "  </qresource>\n</RCC>\n")
# Written only when it changes, so an unchanged icon list rebuilds nothing.
file(CONFIGURE OUTPUT ${KIVORA_ICON_QRC} CONTENT "${qrc}")

# The largest size goes in as PNG (a "Vista icon", which Windows reads from Vista on), the
# others as bitmaps, which every reader of icons knows: 256 px as a bitmap alone would be 256 KB.
list(GET pngs -1 largest)
list(REMOVE_AT pngs -1)
add_custom_command(OUTPUT ${KIVORA_ICON_ICO}
    COMMAND ${KIVORA_ICOTOOL} --create --output ${KIVORA_ICON_ICO} ${pngs} --raw=${largest}
    DEPENDS ${pngs} ${largest}
    COMMENT "Icon: kivora.ico"
    VERBATIM)
list(APPEND pngs ${largest})

# The scalable icon of the theme's tree is the source itself.
configure_file(${KIVORA_ICON_SVG} ${KIVORA_ICON_DIR}/hicolor/scalable/apps/kivora.svg COPYONLY)

# Every size and the .ico are made in every build, the Linux one included (the Debian package
# installs the tree; the .ico is the MSI's).
add_custom_target(kivora_icons ALL DEPENDS ${pngs} ${KIVORA_ICON_ICO})

function(kivora_add_icon_resources target)
    qt6_add_resources(icon_sources ${KIVORA_ICON_QRC})
    target_sources(${target} PRIVATE ${icon_sources})
    add_dependencies(${target} kivora_icons)
endfunction()

function(kivora_add_windows_resources target)
    if(WIN32)
        # The icon that Explorer, the taskbar and the window class take (Qt's windows take the
        # program's IDI_ICON1 as their icon), and the version details of the file's properties.
        set(KIVORA_LEGAL_COPYRIGHT "Copyright (C) 2026 the Kivora authors. License: GPL-3.0-or-later")
        configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/kivora.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
        target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
        set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES OBJECT_DEPENDS ${KIVORA_ICON_ICO})
    endif()
endfunction()
