# Run with `cmake -P` at build time: writes the package's machine-readable copyright file.
#   OUT        the file to write
#   FONTS      the folder of the fonts installed with the program (may be missing)
#   LICENCES   the folder of their licence texts, <family>-LICENSE.txt
#   CONTACT    the upstream contact
#   SOURCE     where the source is published
#   YEAR       the year of the release
# The fonts are fetched at build time, so their paragraphs name only the families the build has.
cmake_minimum_required(VERSION 3.22)

# A text as the body of a paragraph: each line indented by one space, an empty line as " .".
function(indented text out)
    string(REPLACE "\r" "" text "${text}")
    string(REGEX REPLACE "[ \t]+\n" "\n" text "${text}")
    string(STRIP "${text}" text)
    string(REPLACE "\n\n" "\n.\n" text "${text}")
    string(REPLACE "\n\n" "\n.\n" text "${text}")
    string(REPLACE "\n" "\n " text "${text}")
    set(${out} " ${text}" PARENT_SCOPE)
endfunction()

set(text "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: plim
Upstream-Contact: ${CONTACT}
Source: ${SOURCE}
Comment: The OpenDyslexic font plim offers is not part of this package; it comes
 from the package fonts-opendyslexic (licences: CC-BY-3.0 and Bitstream), on
 which this one depends.

Files: *
Copyright: ${YEAR} plim developers
License: GPL-3+
")

set(ofl "")
foreach(family AtkinsonHyperlegibleNext AtkinsonHyperlegibleMono)
    file(GLOB faces "${FONTS}/${family}-*")
    set(licence "${LICENCES}/${family}-LICENSE.txt")
    if(NOT faces OR NOT EXISTS "${licence}")
        continue()
    endif()
    file(READ "${licence}" body)
    # "Copyright 2020-2024 The ... Project Authors (https://...)": the years and the holder.
    string(REGEX MATCH "Copyright ([^(\n]*[^ (\n])" holder "${body}")
    string(APPEND text "
Files: usr/share/plim/fonts/${family}-*
Copyright: ${CMAKE_MATCH_1}
License: OFL-1.1
")
    if(ofl STREQUAL "")
        string(FIND "${body}" "SIL OPEN FONT LICENSE Version 1.1" start)
        if(start GREATER -1)
            string(SUBSTRING "${body}" ${start} -1 ofl)
        endif()
    endif()
endforeach()

string(APPEND text "
License: GPL-3+
 This program is free software: you can redistribute it and/or modify it under
 the terms of the GNU General Public License as published by the Free Software
 Foundation, either version 3 of the License, or (at your option) any later
 version.
 .
 This program is distributed in the hope that it will be useful, but WITHOUT
 ANY WARRANTY; without even the implied warranty of MERCHANTABILITY or FITNESS
 FOR A PARTICULAR PURPOSE. See the GNU General Public License for more details.
 .
 On Debian systems, the complete text of the GNU General Public License
 version 3 can be found in \"/usr/share/common-licenses/GPL-3\".
")
if(NOT ofl STREQUAL "")
    indented("${ofl}" body)
    string(APPEND text "\nLicense: OFL-1.1\n${body}\n")
endif()
file(WRITE "${OUT}" "${text}")
