# The installed layout and the Debian package for Linux labs.
#
# KIVORA_INSTALLED_LAYOUT (default OFF) builds the program to be installed rather than run from
# its build folder or an unpacked zip: every target gets the definitions
#   KIVORA_INSTALLED_LAYOUT=1
#   KIVORA_PLAN_DIR="/usr/share/kivora"   the bundled plans (<prefix>/share/kivora)
#   KIVORA_SYSCONF_DIR="/etc/kivora"      the settings file kivora.ini of every user
# and, on Linux, the install rules of the Debian package and its CPack set-up (DEB). Without it
# nothing here applies. scripts/package-deb configures such a build (build-deb/, prefix /usr) and
# writes build/kivora_<version>_amd64.deb.
#
# Included from the top-level CMakeLists.txt before any target and folder, so that the
# definitions reach every target, whichever folder declares it. The install rules and the package
# need the kivora target and its icons, declared later: they are made once the top-level
# CMakeLists.txt has been read (cmake_language(DEFER)).

option(KIVORA_INSTALLED_LAYOUT "Build for the installed layout of the Debian package" OFF)
if(NOT KIVORA_INSTALLED_LAYOUT)
    return()
endif()

include(GNUInstallDirs) # prefix /usr: /usr/bin, /usr/share, and /etc for the settings
set(KIVORA_PLAN_DIR ${CMAKE_INSTALL_FULL_DATADIR}/kivora)
set(KIVORA_SYSCONF_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/kivora)
add_compile_definitions(KIVORA_INSTALLED_LAYOUT=1 KIVORA_PLAN_DIR="${KIVORA_PLAN_DIR}"
                        KIVORA_SYSCONF_DIR="${KIVORA_SYSCONF_DIR}")
if(WIN32)
    return()
endif()

# Who makes the package and where the project lives: the package's Maintainer and Homepage, the
# copyright file's contact and the AppStream metadata's id and homepage. The AppStream id is the
# project's name for ever once published: it follows the homepage's domain, reversed.
set(KIVORA_MAINTAINER "Kivora developers <kivora@example.org>")
set(KIVORA_HOMEPAGE "https://kivora.example.org/")
set(KIVORA_APPSTREAM_ID org.example.kivora)
# The package's version: the program's, and the revision of its packaging (changelog.Debian).
set(KIVORA_DEB_VERSION ${PROJECT_VERSION}-1)

cmake_language(DEFER CALL kivora_package_rules)

function(kivora_package_rules)
    set(linux ${CMAKE_SOURCE_DIR}/packaging/linux)
    set(out ${CMAKE_BINARY_DIR}/packaging)

    # The changelog's newest entry must be this version's, so that a new version is not packaged
    # without one.
    execute_process(COMMAND dpkg-parsechangelog --file ${linux}/changelog --show-field Version
                    OUTPUT_VARIABLE changelog_version OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT changelog_version STREQUAL KIVORA_DEB_VERSION)
        message(FATAL_ERROR "packaging/linux/changelog begins with ${changelog_version}; "
                            "the package is ${KIVORA_DEB_VERSION}: add an entry for it")
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${linux}/changelog)

    configure_file(${linux}/kivora.metainfo.xml.in ${out}/${KIVORA_APPSTREAM_ID}.metainfo.xml @ONLY)
    configure_file(${linux}/copyright.in ${out}/copyright @ONLY)
    file(WRITE ${out}/conffiles "${KIVORA_SYSCONF_DIR}/kivora.ini\n")

    # The manual page, from the program's own --help and --version (the option declarations), made
    # by help2man; compressed as Debian keeps manual pages and changelogs (gzip -9n: no name, no
    # time stamp, the same bytes from every build).
    find_program(KIVORA_HELP2MAN help2man REQUIRED)
    add_custom_command(OUTPUT ${out}/kivora.1.gz
        COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                ${KIVORA_HELP2MAN} --no-info --section=1 "--name=mental-rotation reaction-time experiment"
                --source=Kivora --output=${out}/kivora.1 $<TARGET_FILE:kivora>
        COMMAND gzip -9nf ${out}/kivora.1
        DEPENDS kivora
        COMMENT "Manual page kivora.1 from kivora --help"
        VERBATIM)
    add_custom_command(OUTPUT ${out}/changelog.Debian.gz
        COMMAND gzip -9n --stdout ${linux}/changelog > ${out}/changelog.Debian.gz
        DEPENDS ${linux}/changelog
        COMMENT "changelog.Debian.gz")
    add_custom_target(kivora_package_docs ALL DEPENDS ${out}/kivora.1.gz ${out}/changelog.Debian.gz)

    set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    install(TARGETS kivora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    # Every plan in data/, the bundled sequence.csv and short.csv and any that join them.
    file(GLOB plans CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/data/*.csv)
    install(FILES ${plans} DESTINATION ${KIVORA_PLAN_DIR})
    install(FILES ${linux}/kivora.ini DESTINATION ${KIVORA_SYSCONF_DIR})
    # The English texts as a lab starts its own language from (docs/languages.md); a lab's .qm
    # files go beside it.
    install(FILES ${CMAKE_SOURCE_DIR}/translations/kivora_en.ts DESTINATION ${KIVORA_PLAN_DIR}/translations)
    install(FILES ${linux}/kivora.desktop ${linux}/kivora-report.desktop ${linux}/kivora-class-view.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(DIRECTORY ${KIVORA_ICON_DIR}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
    install(FILES ${out}/${KIVORA_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${out}/kivora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${out}/copyright ${out}/changelog.Debian.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kivora)

    # The package (cpack -G DEB in the build folder). Depends: the shared libraries the program
    # links, found by dpkg-shlibdeps, and what it loads at run time: the CUPS library (asked about
    # its print jobs, looked up when printing) and the Japanese font of its texts. The Qt platform
    # plugins (xcb, offscreen) come with libqt6gui6, which the program links.
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME kivora)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_VENDOR Kivora)
    set(CPACK_PACKAGE_CONTACT ${KIVORA_MAINTAINER})
    set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
    set(CPACK_STRIP_FILES TRUE) # no debug symbols in the package
    set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # kivora_<version>-<revision>_<architecture>.deb
    set(CPACK_DEBIAN_PACKAGE_SECTION science)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KIVORA_HOMEPAGE})
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libcups2, fonts-ipafont-gothic")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${out}/conffiles)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
    set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "mental-rotation reaction-time experiment
Kivora runs the mental-rotation experiment with one participant at a time:
a hollow letter (F, L, P or R) is shown, an arrow tells how far to turn it in
the mind, and the participant answers whether the test figure is the letter as
it was or mirrored. Reaction times are counted in milliseconds from the moment
the test figure is on screen.

For a lab or a class it makes balanced trial plans with a fresh order for
every participant, writes a data file per run trial by trial, shows its
pictures in step with the display's refresh, prints a run's results, and
makes the report of a class (CSV files and a PDF with the group's chart).")
    include(CPack)
endfunction()
