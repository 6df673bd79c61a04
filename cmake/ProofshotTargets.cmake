# proofshot_add_test(NAME <name> SOURCES <files...> LIBS <targets...> LABELS <labels...>
#                    [TIMEOUT <seconds>])
# One GoogleTest executable; every TEST becomes its own CTest entry carrying the labels,
# so `ctest -L concurrency` selects exactly the cases of that area.
function(proofshot_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT PROOFSHOT_BUILD_TESTS)
    return()
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock
                                          Threads::Threads)
  foreach(label IN LISTS T_LABELS)
    set_property(GLOBAL APPEND PROPERTY PROOFSHOT_TESTS_${label} ${T_NAME})
    set_property(GLOBAL APPEND PROPERTY PROOFSHOT_TEST_LABELS ${label})
    if(NOT label STREQUAL "concurrency" AND "concurrency" IN_LIST T_LABELS)
      set_property(GLOBAL APPEND PROPERTY PROOFSHOT_TESTS_${label}-concurrency ${T_NAME})
      set_property(GLOBAL APPEND PROPERTY PROOFSHOT_TEST_LABELS ${label}-concurrency)
    endif()
  endforeach()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # Labels are set after discovery: gtest_discover_tests flattens a list-valued property, so
  # a test with two labels would get only the first.
  set(label_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_labels.cmake)
  file(WRITE ${label_script}
       "if(${T_NAME}_TESTS)\n  set_tests_properties(\${${T_NAME}_TESTS} PROPERTIES LABELS \"${T_LABELS}\")\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${label_script})
endfunction()

# proofshot_add_test_dir(PREFIX <prefix> LABEL <label> LIBS <targets...>
#                        [SOURCES <helpers...>] [EXCLUDE <files...>] [TIMEOUT <seconds>])
# One executable <prefix>_<name> per <name>_test.cpp of the calling directory, labelled <label>;
# <name>_concurrency_test.cpp files are labelled `concurrency` too, so TSan runs them.
function(proofshot_add_test_dir)
  cmake_parse_arguments(D "" "PREFIX;LABEL;TIMEOUT" "LIBS;SOURCES;EXCLUDE" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  if(D_EXCLUDE)
    list(REMOVE_ITEM tests ${D_EXCLUDE})
  endif()
  set(timeout)
  if(D_TIMEOUT)
    set(timeout TIMEOUT ${D_TIMEOUT})
  endif()
  foreach(source IN LISTS tests)
    get_filename_component(name ${source} NAME_WE)
    set(labels ${D_LABEL})
    if(name MATCHES "_concurrency_test$")
      list(APPEND labels concurrency)
    endif()
    proofshot_add_test(NAME ${D_PREFIX}_${name} SOURCES ${source} ${D_SOURCES} LIBS ${D_LIBS}
                       LABELS ${labels} ${timeout})
  endforeach()
endfunction()

# proofshot_test_runs_orderd(<target>): the test starts the real order service, so it is told
# where the binary and the source tree are, and the binary is built first.
function(proofshot_test_runs_orderd target)
  if(TARGET ${target})
    target_compile_definitions(${target} PRIVATE PROOFSHOT_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                                 ORDERD_BINARY="$<TARGET_FILE:proofshot-orderd>")
    add_dependencies(${target} proofshot-orderd)
  endif()
endfunction()

# proofshot_add_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(proofshot_add_bench)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT PROOFSHOT_BUILD_BENCH)
    return()
  endif()
  find_package(benchmark REQUIRED)
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY PROOFSHOT_BENCHES ${B_NAME})
endfunction()
