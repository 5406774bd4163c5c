# pelorix_test(NAME <target> SOURCES ... LIBS ... [LOCK <resource>...] [WINE_ARGS ...]
#              [FIXTURES <fixture>...] [PREFIX_NAME])
# A GoogleTest program run under Wine; each test case becomes one CTest test
# (named "<target>.<case>" with PREFIX_NAME). FIXTURES are CTest fixtures every
# case requires, such as a loopback server.
function(pelorix_test)
  cmake_parse_arguments(T "PREFIX_NAME" "NAME" "SOURCES;LIBS;WINE_ARGS;LOCK;FIXTURES" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} gtest gtest_main)
  if(T_WINE_ARGS)
    set_target_properties(${T_NAME} PROPERTIES CROSSCOMPILING_EMULATOR "${WINE_RUN};${T_WINE_ARGS}")
  endif()
  set(props TIMEOUT 120)
  if(T_LOCK)
    list(APPEND props RESOURCE_LOCK ${T_LOCK})
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED ${T_FIXTURES})
  endif()
  set(prefix "")
  if(T_PREFIX_NAME)
    set(prefix "${T_NAME}.")
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       TEST_PREFIX "${prefix}" PROPERTIES ${props})
endfunction()

# pelorix_http_fixture(FIXTURE <name> ROOT <dir> PORT <port> [ANSWER_ALL])
# A loopback HTTP server (tests/support/loopback_http_server.py) serving ROOT
# on 127.0.0.1:PORT as the CTest fixture <name>; every request is logged to
# ROOT/requests.log. ANSWER_ALL answers paths that name no file with 200.
function(pelorix_http_fixture)
  cmake_parse_arguments(F "ANSWER_ALL" "FIXTURE;ROOT;PORT" "" ${ARGN})
  find_program(PYTHON3 python3 REQUIRED)
  set(server ${CMAKE_SOURCE_DIR}/tests/support/loopback_http_server.py)
  set(pidfile ${CMAKE_BINARY_DIR}/${F_FIXTURE}_server.pid)
  set(extra "")
  if(F_ANSWER_ALL)
    set(extra --answer-all)
  endif()
  add_test(NAME ${F_FIXTURE}_server_start
    COMMAND ${PYTHON3} ${server} start --root ${F_ROOT} --port ${F_PORT} --pidfile ${pidfile} ${extra})
  set_tests_properties(${F_FIXTURE}_server_start PROPERTIES FIXTURES_SETUP ${F_FIXTURE})
  add_test(NAME ${F_FIXTURE}_server_stop COMMAND ${PYTHON3} ${server} stop --pidfile ${pidfile})
  set_tests_properties(${F_FIXTURE}_server_stop PROPERTIES FIXTURES_CLEANUP ${F_FIXTURE})
endfunction()
