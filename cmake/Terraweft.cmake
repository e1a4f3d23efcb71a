# Each module is the set of .cpp files of one folder (not recursive). The folder may still be
# empty: the module is then an interface target, so that others can already link against it.
function(tw_module name dir)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC "${CMAKE_SOURCE_DIR}/src" "${CMAKE_SOURCE_DIR}/host")
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE "${CMAKE_SOURCE_DIR}/src" "${CMAKE_SOURCE_DIR}/host")
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# Tests of one folder: every *_test.cpp becomes part of one GoogleTest executable, every
# *_bench.cpp part of one Google Benchmark executable (built, not run by ctest).
function(tw_test_dir name dir)
  cmake_parse_arguments(ARG "" "SERIAL" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS "${dir}/*_test.cpp")
  if(tests)
    add_executable(${name}_tests ${tests})
    target_link_libraries(${name}_tests PRIVATE ${ARG_LIBS} tw_testkit GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${name}_tests PRIVATE
      TW_SHARED_TESTDATA="${TW_SHARED_TESTDATA}"
      TW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
    if(ARG_SERIAL)
      # Tests that measure time (a GoogleTest filter) run while no other test runs.
      gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "-${ARG_SERIAL}"
        PROPERTIES TIMEOUT 120)
      gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60 TEST_FILTER "${ARG_SERIAL}"
        PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
    else()
      gtest_discover_tests(${name}_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
    endif()
  endif()
  file(GLOB benches CONFIGURE_DEPENDS "${dir}/*_bench.cpp")
  if(benches AND TW_BENCHMARKS)
    add_executable(${name}_bench ${benches})
    target_link_libraries(${name}_bench PRIVATE ${ARG_LIBS} tw_testkit benchmark::benchmark benchmark::benchmark_main)
    target_compile_definitions(${name}_bench PRIVATE
      TW_SHARED_TESTDATA="${TW_SHARED_TESTDATA}"
      TW_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  endif()
endfunction()
