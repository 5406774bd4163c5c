# Test code signing: the certificate is made in the build directory at build
# time, and pelorix_sign_file() signs a copy of a PE file with it.

# Cached so that pelorix_sign_file() works from any folder.
set(PELORIX_SIGN_DIR ${CMAKE_BINARY_DIR}/signing CACHE INTERNAL "Test signing material")
set(PELORIX_SIGN_CERT ${PELORIX_SIGN_DIR}/code_signing_chain.pem CACHE INTERNAL "")
set(PELORIX_SIGN_KEY ${PELORIX_SIGN_DIR}/code_signing.key CACHE INTERNAL "")
set(PELORIX_TEST_CA ${PELORIX_SIGN_DIR}/test_ca.pem CACHE INTERNAL "")
set(PELORIX_SIGN_PE ${CMAKE_CURRENT_LIST_DIR}/sign_pe.sh CACHE INTERNAL "")

find_program(OSSLSIGNCODE osslsigncode REQUIRED)
find_program(OPENSSL openssl REQUIRED)

add_custom_command(OUTPUT ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY} ${PELORIX_TEST_CA}
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/make_test_cert.sh ${PELORIX_SIGN_DIR}
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_test_cert.sh
  COMMENT "Making the test code-signing certificate"
  VERBATIM)
add_custom_target(test_signing_cert DEPENDS ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY} ${PELORIX_TEST_CA})

# pelorix_sign_file(INPUT <file> OUTPUT <signed copy> [DEPENDS <targets or files>...])
# INPUT may be a generator expression such as $<TARGET_FILE:tgt>; name the
# target in DEPENDS then. The input itself is left unsigned.
function(pelorix_sign_file)
  cmake_parse_arguments(S "" "INPUT;OUTPUT" "DEPENDS" ${ARGN})
  get_filename_component(name ${S_OUTPUT} NAME)
  add_custom_command(OUTPUT ${S_OUTPUT}
    COMMAND sh ${PELORIX_SIGN_PE} ${PELORIX_SIGN_DIR} ${S_INPUT} ${S_OUTPUT} ${name}
    DEPENDS ${S_DEPENDS} ${PELORIX_SIGN_PE} ${PELORIX_SIGN_CERT} ${PELORIX_SIGN_KEY}
    COMMENT "Signing ${name}"
    VERBATIM)
endfunction()
