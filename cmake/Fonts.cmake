# The program's fonts are published fonts, fetched into the build folder at build time (never kept
# in the repository) and installed with the program. Without them plim uses the system font, so a
# failed fetch never stops the build. The build's share folder has the installed layout, so the
# program run from the build finds them where an installed one does. OpenDyslexic is the system's
# (Debian: fonts-opendyslexic, a dependency of the package). The fonts' licences are kept apart:
# the package names them in its copyright file.
set(PLIM_FONTS_DIR ${CMAKE_BINARY_DIR}/share/plim/fonts)
set(PLIM_FONT_LICENCES_DIR ${CMAKE_BINARY_DIR}/font-licences)
set(PLIM_FONTS_STAMP "")
set(PLIM_FONT_NEXT_PACKAGE "@expo-google-fonts/atkinson-hyperlegible-next@0.4.1" CACHE STRING
    "npm package of the Atkinson Hyperlegible Next static fonts")
set(PLIM_FONT_MONO_PACKAGE "@fontsource/atkinson-hyperlegible-mono@5.3.0" CACHE STRING
    "npm package of the Atkinson Hyperlegible Mono fonts")

if(PLIM_FONTS)
    find_program(PLIM_NPM npm)
    if(NOT PLIM_NPM)
        set(PLIM_NPM "")
    endif()
    set(stamp ${CMAKE_BINARY_DIR}/fonts.stamp)
    add_custom_command(OUTPUT ${stamp}
        COMMAND ${CMAKE_COMMAND} -DNPM=${PLIM_NPM} -DNEXT=${PLIM_FONT_NEXT_PACKAGE} -DMONO=${PLIM_FONT_MONO_PACKAGE}
            -DWORK=${CMAKE_BINARY_DIR}/font-packages -DOUT=${PLIM_FONTS_DIR} -DLICENCES=${PLIM_FONT_LICENCES_DIR}
            -DSTAMP=${stamp} -P ${CMAKE_CURRENT_LIST_DIR}/FetchFonts.cmake
        DEPENDS ${CMAKE_CURRENT_LIST_DIR}/FetchFonts.cmake
        COMMENT "Fetching fonts"
        VERBATIM)
    add_custom_target(plim_fonts ALL DEPENDS ${stamp})
    set(PLIM_FONTS_STAMP ${stamp})
    install(DIRECTORY ${PLIM_FONTS_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/plim/fonts OPTIONAL)
endif()
