# Run with `cmake -P` at build time: gathers the program's font files into OUT.
#   NPM           npm, or empty when there is none
#   NEXT, MONO    npm packages (name@version) of the text and the fixed-width family
#   WORK          a scratch folder for the packages
#   OUT           the fonts folder; it exists afterwards only when it holds at least one font
#   LICENCES      the folder of the fonts' licences, <family>-LICENSE.txt
#   STAMP         written at the end, success or not, so a failure is told once
# Never fails the build: whatever cannot be had is named in one warning.
cmake_minimum_required(VERSION 3.22)

set(missing "")
file(REMOVE_RECURSE "${WORK}" "${OUT}" "${LICENCES}")
file(MAKE_DIRECTORY "${WORK}" "${OUT}" "${LICENCES}")

# Quiet and quick to give up when the registry cannot be reached.
set(ENV{npm_config_update_notifier} false)
set(ENV{npm_config_fund} false)
set(ENV{npm_config_audit} false)
set(ENV{npm_config_fetch_retries} 1)
set(ENV{npm_config_fetch_timeout} 60000)

# Packs `package` (name@version) from the registry and unpacks it into WORK/<name>; sets <name>_DIR on success.
function(fetch_package package name)
    if(NOT NPM)
        list(APPEND missing "${package} (no npm)")
        set(missing "${missing}" PARENT_SCOPE)
        return()
    endif()
    execute_process(COMMAND "${NPM}" pack --json --ignore-scripts "${package}" --pack-destination "${WORK}"
        WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 300)
    if(rc EQUAL 0)
        string(JSON tarball ERROR_VARIABLE json_error GET "${out}" 0 filename)
    endif()
    if(NOT rc EQUAL 0 OR json_error OR NOT EXISTS "${WORK}/${tarball}")
        string(REGEX MATCH "[^\n]*" err "${err}")
        list(APPEND missing "${package} (npm pack: ${rc}: ${err})")
        set(missing "${missing}" PARENT_SCOPE)
        return()
    endif()
    file(ARCHIVE_EXTRACT INPUT "${WORK}/${tarball}" DESTINATION "${WORK}/${name}")
    set(${name}_DIR "${WORK}/${name}/package" PARENT_SCOPE)
endfunction()

# Copies a file into a folder under a new name, or names it as missing.
function(take from to)
    if(EXISTS "${from}")
        file(COPY_FILE "${from}" "${to}")
    else()
        list(APPEND missing "${from}")
        set(missing "${missing}" PARENT_SCOPE)
    endif()
endfunction()

# Atkinson Hyperlegible Next: one static file per weight the program asks for.
fetch_package("${NEXT}" next)
if(next_DIR)
    foreach(face 300Light 400Regular 500Medium 600SemiBold 700Bold 800ExtraBold)
        take("${next_DIR}/${face}/AtkinsonHyperlegibleNext_${face}.ttf" "${OUT}/AtkinsonHyperlegibleNext-${face}.ttf")
    endforeach()
    take("${next_DIR}/LICENSE_FONT" "${LICENCES}/AtkinsonHyperlegibleNext-LICENSE.txt")
endif()

# Atkinson Hyperlegible Mono, regular: the .woff, whose family name is right (the .woff2's is not).
fetch_package("${MONO}" mono)
if(mono_DIR)
    take("${mono_DIR}/files/atkinson-hyperlegible-mono-latin-400-normal.woff"
         "${OUT}/AtkinsonHyperlegibleMono-Regular.woff")
    take("${mono_DIR}/LICENSE" "${LICENCES}/AtkinsonHyperlegibleMono-LICENSE.txt")
endif()

file(REMOVE_RECURSE "${WORK}")
file(GLOB fonts "${OUT}/*.ttf" "${OUT}/*.otf" "${OUT}/*.woff")
list(LENGTH fonts count)
if(count EQUAL 0)
    file(REMOVE_RECURSE "${OUT}")
endif()
if(missing)
    list(JOIN missing "\n  " listed)
    message(WARNING "Fonts: ${count} font files in ${OUT}; missing:\n  ${listed}\n"
        "plim uses the system font where one is missing. Delete ${STAMP} to try again.")
else()
    message(STATUS "Fonts: ${count} font files in ${OUT}")
endif()
file(WRITE "${STAMP}" "${count} font files\n${missing}\n")
