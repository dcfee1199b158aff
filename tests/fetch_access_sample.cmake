# Fetches a real Access (Jet 4) file for the Access list tests: test/fruit.mdb
# of the npm package "mdb" 0.1.0 (MIT), into DEST. Nothing of it is kept in the
# source tree. A file already fetched and intact is used as it is.
#   cmake -DDEST=<folder> -P fetch_access_sample.cmake
set(sample "${DEST}/package/test/fruit.mdb")
set(expected e62eac8a7d29062328484aa0477ab897f3e9fb3abbd4de26d2e7748a8e0bce79)

if(EXISTS "${sample}")
    file(SHA256 "${sample}" have)
    if(have STREQUAL expected)
        return()
    endif()
endif()

find_program(NPM npm)
if(NOT NPM)
    message(FATAL_ERROR "The Access sample file could not be fetched: npm is not installed (apt-get install npm).")
endif()
file(REMOVE_RECURSE "${DEST}")
file(MAKE_DIRECTORY "${DEST}")
execute_process(COMMAND "${NPM}" pack mdb@0.1.0 --pack-destination "${DEST}"
                WORKING_DIRECTORY "${DEST}" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err TIMEOUT 120)
if(NOT rc EQUAL 0 OR NOT EXISTS "${DEST}/mdb-0.1.0.tgz")
    message(FATAL_ERROR "The Access sample file could not be fetched: npm pack mdb@0.1.0 failed (${rc}): ${err}")
endif()
file(ARCHIVE_EXTRACT INPUT "${DEST}/mdb-0.1.0.tgz" DESTINATION "${DEST}")
file(SHA256 "${sample}" have)
if(NOT have STREQUAL expected)
    message(FATAL_ERROR "The Access sample file fetched is not the expected one (SHA-256 ${have}).")
endif()
