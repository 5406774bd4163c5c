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
