# Code signing. By default everything is signed with a test certificate made
# in the build directory at build time; a release build names the maker's
# certificate (a PKCS#12 file) or an external signing command instead. See
# README.md. pelorix_sign_file() signs a copy of a PE file and verifies it.

find_program(OSSLSIGNCODE osslsigncode REQUIRED)
find_program(OPENSSL openssl REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(PELORIX_SIGN_PKCS12 "" CACHE FILEPATH
    "PKCS#12 file with the release code-signing certificate and key (empty: the built-in test certificate)")
set(PELORIX_SIGN_PASSWORD_FILE "" CACHE FILEPATH
    "File holding the PKCS#12 password; without it the build reads PELORIX_SIGN_PASSWORD from its environment")
set(PELORIX_SIGN_COMMAND "" CACHE STRING
    "External signing command (hardware token, signing service); the file to sign is appended and signed in place")
set(PELORIX_SIGN_CA "" CACHE FILEPATH
    "Roots a release signature must chain to (empty: the system's certificate bundle)")
set(PELORIX_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server (empty: no time stamp)")
set(PELORIX_TIMESTAMP_CA "" CACHE FILEPATH
    "Roots of the time-stamp server's certificate (empty: the system's certificate bundle)")

# Cached so that pelorix_sign_file() works from any folder.
set(PELORIX_SIGN_DIR ${CMAKE_BINARY_DIR}/signing CACHE INTERNAL "Test signing material")
set(PELORIX_SIGN_CERT ${PELORIX_SIGN_DIR}/code_signing_chain.pem CACHE INTERNAL "")
set(PELORIX_SIGN_KEY ${PELORIX_SIGN_DIR}/code_signing.key CACHE INTERNAL "")
set(PELORIX_TEST_CA ${PELORIX_SIGN_DIR}/test_ca.pem CACHE INTERNAL "")
set(PELORIX_SIGN_PE ${CMAKE_CURRENT_LIST_DIR}/sign_pe.py CACHE INTERNAL "")
set(PELORIX_SIGN_CONF ${PELORIX_SIGN_DIR}/signing.conf CACHE INTERNAL "")

add_custom_command(OUTPUT ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY} ${PELORIX_TEST_CA}
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make_test_cert.sh ${PELORIX_SIGN_DIR}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_test_cert.sh
  COMMENT "Making the test code-signing certificate"
  VERBATIM)
add_custom_target(test_signing_cert DEPENDS ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY} ${PELORIX_TEST_CA})

set(_bundle /etc/ssl/certs/ca-certificates.crt)
if(PELORIX_SIGN_PKCS12 AND PELORIX_SIGN_COMMAND)
  message(FATAL_ERROR "Give PELORIX_SIGN_PKCS12 or PELORIX_SIGN_COMMAND, not both")
endif()
if(PELORIX_SIGN_PKCS12)
  if(NOT EXISTS "${PELORIX_SIGN_PKCS12}")
    message(FATAL_ERROR "PELORIX_SIGN_PKCS12: ${PELORIX_SIGN_PKCS12} does not exist")
  endif()
  if(PELORIX_SIGN_PASSWORD_FILE AND NOT EXISTS "${PELORIX_SIGN_PASSWORD_FILE}")
    message(FATAL_ERROR "PELORIX_SIGN_PASSWORD_FILE: ${PELORIX_SIGN_PASSWORD_FILE} does not exist")
  endif()
  set(_mode pkcs12)
elseif(PELORIX_SIGN_COMMAND)
  set(_mode command)
else()
  set(_mode test)
endif()
if(_mode STREQUAL "test")
  set(PELORIX_VERIFY_CA ${PELORIX_TEST_CA} CACHE INTERNAL "")
elseif(PELORIX_SIGN_CA)
  set(PELORIX_VERIFY_CA ${PELORIX_SIGN_CA} CACHE INTERNAL "")
else()
  set(PELORIX_VERIFY_CA ${_bundle} CACHE INTERNAL "")
endif()
set(_tsa_ca ${PELORIX_TIMESTAMP_CA})
if(NOT _tsa_ca)
  set(_tsa_ca ${_bundle})
endif()

set(_conf "MODE=${_mode}\nCERTS=${PELORIX_SIGN_CERT}\nKEY=${PELORIX_SIGN_KEY}\n")
string(APPEND _conf "PKCS12=${PELORIX_SIGN_PKCS12}\nPASSWORD_FILE=${PELORIX_SIGN_PASSWORD_FILE}\n")
string(APPEND _conf "COMMAND=${PELORIX_SIGN_COMMAND}\nTIMESTAMP_URL=${PELORIX_TIMESTAMP_URL}\n")
string(APPEND _conf "TIME=${PELORIX_SOURCE_DATE_EPOCH}\nCA=${PELORIX_VERIFY_CA}\nTSA_CA=${_tsa_ca}\n")
file(CONFIGURE OUTPUT ${PELORIX_SIGN_CONF} CONTENT "${_conf}" @ONLY)
if(_mode STREQUAL "test")
  message(STATUS "Signing with the built-in TEST certificate (development only)")
else()
  message(STATUS "Signing with ${_mode}: ${PELORIX_SIGN_PKCS12}${PELORIX_SIGN_COMMAND}")
endif()

# What a signature depends on besides the file itself.
set(PELORIX_SIGN_DEPENDS ${PELORIX_SIGN_PE} ${PELORIX_SIGN_CONF} ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY}
    ${PELORIX_SIGN_PKCS12} CACHE INTERNAL "")

# pelorix_sign_file(INPUT <file> OUTPUT <signed copy> [DEPENDS <targets or files>...])
# INPUT may be a generator expression such as $<TARGET_FILE:tgt>; name the
# target in DEPENDS then. The input itself is left unsigned.
function(pelorix_sign_file)
  cmake_parse_arguments(S "" "INPUT;OUTPUT" "DEPENDS" ${ARGN})
  get_filename_component(name ${S_OUTPUT} NAME)
  add_custom_command(OUTPUT ${S_OUTPUT}
    COMMAND ${Python3_EXECUTABLE} ${PELORIX_SIGN_PE} --conf ${PELORIX_SIGN_CONF}
            --description ${name} ${S_INPUT} ${S_OUTPUT}
    DEPENDS ${S_DEPENDS} ${PELORIX_SIGN_DEPENDS}
    COMMENT "Signing ${name}"
    VERBATIM)
endfunction()
