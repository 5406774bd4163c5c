# The product the package carries: the sample product built here, or a
# release engineer's tree of product files (see the README's release section).
# Either way the build packs ${PELORIX_PRODUCT_DIR}, complete once
# ${PELORIX_PRODUCT_STAMP} exists; ${PELORIX_PRODUCT_TARGET} makes it.

find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(PELORIX_PRODUCT_TREE "" CACHE PATH
    "Directory of product files to package, in install-root layout (empty: the sample product built here)")
set(PELORIX_PRODUCT_VERSION 1.1026.1135.306 CACHE STRING
    "Version of the packaged product and of Install.exe: four numbers, each at most 65535")
set(PELORIX_PRODUCT_FILE_LIST "" CACHE FILEPATH
    "Files the setup configuration lists with versions and digests, one relative path a line (empty: every file of the tree; the sample's own list for the sample)")

if(NOT PELORIX_PRODUCT_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "PELORIX_PRODUCT_VERSION must be four dotted numbers, not '${PELORIX_PRODUCT_VERSION}'")
endif()
foreach(i 1 2 3 4)
  if(CMAKE_MATCH_${i} GREATER 65535)
    message(FATAL_ERROR "PELORIX_PRODUCT_VERSION: ${CMAKE_MATCH_${i}} does not fit a version resource (at most 65535)")
  endif()
endforeach()
string(REPLACE "." "," PELORIX_PRODUCT_VERSION_COMMAS ${PELORIX_PRODUCT_VERSION})
string(REPLACE "." ", " PELORIX_PRODUCT_VERSION_SPACED ${PELORIX_PRODUCT_VERSION})
configure_file(${CMAKE_SOURCE_DIR}/cmake/product_version.h.in ${CMAKE_BINARY_DIR}/generated/product_version.h @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/setup/install.manifest ${CMAKE_BINARY_DIR}/generated/install.manifest @ONLY)

# One time for everything the build stamps (archive members, signing time):
# the same sources give the same package. SOURCE_DATE_EPOCH wins, then the
# time of the checked-out commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(PELORIX_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  execute_process(COMMAND git -C ${CMAKE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE PELORIX_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE _git ERROR_QUIET)
  if(NOT _git EQUAL 0 OR NOT PELORIX_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    set(PELORIX_SOURCE_DATE_EPOCH 1767225600)  # 2026-01-01, outside a checkout
  endif()
endif()

set(PELORIX_PRODUCT_DIR ${CMAKE_BINARY_DIR}/product)
set(PELORIX_PRODUCT_STAMP ${CMAKE_BINARY_DIR}/product.stamp)
set(PELORIX_PRODUCT_TREE_SCRIPT ${CMAKE_SOURCE_DIR}/packaging/product_tree.py)
if(PELORIX_PRODUCT_TREE)
  get_filename_component(_tree "${PELORIX_PRODUCT_TREE}" ABSOLUTE)
  # Checked now, so that a tree that cannot be packaged stops the build before
  # anything is compiled, and again when it is staged.
  execute_process(COMMAND ${Python3_EXECUTABLE} ${PELORIX_PRODUCT_TREE_SCRIPT} --check ${_tree}
                  RESULT_VARIABLE _check ERROR_VARIABLE _problems)
  if(NOT _check EQUAL 0)
    message(FATAL_ERROR "PELORIX_PRODUCT_TREE ${_tree}: ${_problems}")
  endif()
  file(GLOB_RECURSE _tree_files CONFIGURE_DEPENDS "${_tree}/*")
  add_custom_command(OUTPUT ${PELORIX_PRODUCT_STAMP}
    COMMAND ${Python3_EXECUTABLE} ${PELORIX_PRODUCT_TREE_SCRIPT} --stage ${_tree}
            --out ${PELORIX_PRODUCT_DIR} --stamp ${PELORIX_PRODUCT_STAMP}
    DEPENDS ${PELORIX_PRODUCT_TREE_SCRIPT} ${_tree_files}
    COMMENT "Staging the product tree ${_tree}"
    VERBATIM)
  add_custom_target(product_tree ALL DEPENDS ${PELORIX_PRODUCT_STAMP})
  set(PELORIX_PRODUCT_TARGET product_tree)
  set(_list ${PELORIX_PRODUCT_FILE_LIST})
else()
  set(PELORIX_PRODUCT_TARGET sample_product_tree)
  set(_list ${PELORIX_PRODUCT_FILE_LIST})
  if(NOT _list)
    set(_list ${CMAKE_SOURCE_DIR}/sample_product/filelist.txt)
  endif()
endif()
set(PELORIX_PRODUCT_LIST_ARGS)
if(_list)
  set(PELORIX_PRODUCT_LIST_ARGS --file-list ${_list})
endif()
