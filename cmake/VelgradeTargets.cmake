# Helpers shared by every folder's CMakeLists.txt.
include_guard(GLOBAL)

# velgrade_install(target...): installs programs and shared libraries into the
# one relocatable folder.
function(velgrade_install)
  install(TARGETS ${ARGN}
    RUNTIME DESTINATION ${VELGRADE_INSTALL_DIR}
    LIBRARY DESTINATION ${VELGRADE_INSTALL_DIR})
endfunction()

# velgrade_test(NAME name LABEL folder SOURCES ... LIBS ...): one GoogleTest
# binary, each of its tests registered with CTest under the folder's label.
function(velgrade_test)
  cmake_parse_arguments(T "" "NAME;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT VELGRADE_TESTS)
    return()
  endif()
  find_package(GTest REQUIRED)
  include(GoogleTest)
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_compile_definitions(${T_NAME} PRIVATE
    VELGRADE_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    VELGRADE_BUILD_DIR="${PROJECT_BINARY_DIR}")
  gtest_discover_tests(${T_NAME}
    PROPERTIES LABELS ${T_LABEL}
    DISCOVERY_TIMEOUT 60)
endfunction()

# velgrade_fuzz_target(NAME name SOURCES ... LIBS ...): a libFuzzer target
# when VELGRADE_FUZZ is on; otherwise the same entry point linked with a small
# driver that replays the checked-in corpus tests/fuzz/corpus/<name> as a test.
function(velgrade_fuzz_target)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/tests/fuzz/corpus/${F_NAME})
  if(VELGRADE_FUZZ)
    add_executable(fuzz_${F_NAME} ${F_SOURCES})
    target_compile_options(fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${F_NAME} PRIVATE ${F_LIBS})
    set_property(GLOBAL APPEND PROPERTY VELGRADE_FUZZ_TARGETS fuzz_${F_NAME})
  elseif(VELGRADE_TESTS)
    add_executable(fuzz_${F_NAME} ${F_SOURCES} ${PROJECT_SOURCE_DIR}/tests/fuzz/ReplayMain.cpp)
    target_link_libraries(fuzz_${F_NAME} PRIVATE ${F_LIBS})
    add_test(NAME fuzz_replay_${F_NAME} COMMAND fuzz_${F_NAME} ${corpus})
    set_tests_properties(fuzz_replay_${F_NAME} PROPERTIES LABELS fuzz)
  endif()
endfunction()
