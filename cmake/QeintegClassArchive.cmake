# Writes a class-data sharing archive for the in-process VM: the JDK's own default class list plus
# every class of the jars on our class path, pre-parsed and pre-verified, so that starting the VM
# does not read, parse and verify them again each time.
#
#   cmake -DJAVA=... -DJAR_TOOL=... -DJAR=ours.jar -DEXTRA_CLASS_PATH=b.jar -DARCHIVE=x.jsa
#         -P QeintegClassArchive.cmake
#
# The class path is our jar by its canonical path (as the launcher names it) and then the others.
# Beside ARCHIVE it writes ARCHIVE.classpath holding the class path the archive was made for; the
# launcher uses the archive only when its own class path is exactly that text. A failure to make
# the archive is no build error: the stamp stays empty and the VM starts without it.
cmake_minimum_required(VERSION 3.25)

set(stamp "${ARCHIVE}.classpath")
file(REAL_PATH "${JAR}" jar_real)
set(CLASS_PATH "${jar_real}")
if(EXTRA_CLASS_PATH)
    string(APPEND CLASS_PATH ":${EXTRA_CLASS_PATH}")
endif()
file(REMOVE "${ARCHIVE}")
file(WRITE "${stamp}" "")

get_filename_component(java_real "${JAVA}" REALPATH)
get_filename_component(java_home "${java_real}" DIRECTORY)
get_filename_component(java_home "${java_home}" DIRECTORY)
set(jdk_list "${java_home}/lib/classlist")

set(names "")
if(EXISTS "${jdk_list}")
    file(STRINGS "${jdk_list}" jdk_lines REGEX "^[^#@]")
    list(APPEND names ${jdk_lines})
endif()
string(REPLACE ":" ";" jars "${CLASS_PATH}")
foreach(jar IN LISTS jars)
    execute_process(COMMAND "${JAR_TOOL}" tf "${jar}" OUTPUT_VARIABLE entries RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
        message(WARNING "no class archive: cannot list ${jar}")
        return()
    endif()
    string(REPLACE "\n" ";" entries "${entries}")
    foreach(entry IN LISTS entries)
        # Classes only; module descriptors and versioned copies are not loaded by name. The
        # capturing match comes last: every MATCHES resets CMAKE_MATCH_1.
        if(NOT entry MATCHES "^META-INF/" AND NOT entry MATCHES "module-info"
           AND entry MATCHES "^([^.]+)\\.class$")
            list(APPEND names "${CMAKE_MATCH_1}")
        endif()
    endforeach()
endforeach()
list(JOIN names "\n" text)
set(list_file "${ARCHIVE}.classlist")
file(WRITE "${list_file}" "${text}\n")

execute_process(
    COMMAND "${JAVA}" -Xshare:dump "-XX:SharedClassListFile=${list_file}"
            "-XX:SharedArchiveFile=${ARCHIVE}" -cp "${CLASS_PATH}"
    OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
file(REMOVE "${list_file}")
if(NOT rc EQUAL 0 OR NOT EXISTS "${ARCHIVE}")
    message(WARNING "no class archive: the VM could not write it:\n${out}")
    file(REMOVE "${ARCHIVE}")
    return()
endif()
file(WRITE "${stamp}" "${CLASS_PATH}")
