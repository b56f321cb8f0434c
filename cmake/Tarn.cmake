# Helpers that make every folder one library with its tests beside it.
#
#   tarn_module(<target> DEPS <libs...> [PRIVATE_DEPS <libs...>] [TEST_DEPS <libs...>])
#     Builds a static library from the folder's *.cpp files (except *_test.cpp,
#     *_fuzz.cpp and *_bench.cpp) and one test executable per *_test.cpp,
#     each registered with CTest case by case.
#   tarn_fuzzer(<name> <source> CORPUS <dir> DEPS <libs...>)
#     A libFuzzer target when TARN_FUZZ is on; always a test that replays the
#     seed corpus through the same entry point.
#   tarn_benchmark(<name> <source> DEPS <libs...>)

set(TARN_WARNINGS -Wall -Wextra -Wpedantic -Werror -Wno-missing-field-initializers)
if(TARN_FUZZ)
  # Coverage and the sanitizers' checks for the libraries the fuzzers reach,
  # not only the entry points: an overrun inside a parser is caught where it
  # happens, not only when it crashes. Undefined behaviour stops the run as
  # a crash does.
  set(TARN_FUZZ_SANITIZERS address,undefined)
  add_compile_options(-fsanitize=fuzzer-no-link,${TARN_FUZZ_SANITIZERS} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${TARN_FUZZ_SANITIZERS})
endif()
include(GoogleTest)
file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "")

function(tarn_module target)
  cmake_parse_arguments(M "" "" "DEPS;PRIVATE_DEPS;TEST_DEPS" ${ARGN})
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER srcs EXCLUDE REGEX "(_(test|fuzz|bench)|/main)\\.cpp$")
  if(srcs)
    add_library(${target} STATIC ${srcs})
    set(scope PUBLIC)
  else()
    add_library(${target} INTERFACE)
    set(scope INTERFACE)
  endif()
  target_include_directories(${target} ${scope} ${PROJECT_SOURCE_DIR})
  if(srcs)
    target_compile_options(${target} PRIVATE ${TARN_WARNINGS})
  endif()
  target_link_libraries(${target} ${scope} ${M_DEPS} Threads::Threads)
  if(M_PRIVATE_DEPS)
    target_link_libraries(${target} PRIVATE ${M_PRIVATE_DEPS})
  endif()

  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp)
  foreach(t ${tests})
    get_filename_component(name ${t} NAME_WE)
    set(exe ${target}_${name})
    add_executable(${exe} ${t})
    target_compile_options(${exe} PRIVATE ${TARN_WARNINGS})
    target_link_libraries(${exe} PRIVATE ${target} ${M_TEST_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${exe} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600
                         WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  endforeach()
endfunction()

function(tarn_fuzzer name source)
  cmake_parse_arguments(F "" "CORPUS" "DEPS" ${ARGN})
  add_executable(${name}_replay ${source} ${PROJECT_SOURCE_DIR}/testing/fuzz/replay_main.cpp)
  target_compile_options(${name}_replay PRIVATE ${TARN_WARNINGS})
  target_link_libraries(${name}_replay PRIVATE ${F_DEPS})
  add_test(NAME ${name}_corpus COMMAND ${name}_replay ${F_CORPUS})
  # scripts/fuzz reads this list to find each fuzzer and its seeds.
  file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt "${name} ${F_CORPUS}\n")
  if(TARN_FUZZ)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,${TARN_FUZZ_SANITIZERS})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,${TARN_FUZZ_SANITIZERS})
    target_link_libraries(${name} PRIVATE ${F_DEPS})
  endif()
endfunction()

function(tarn_benchmark name source)
  cmake_parse_arguments(B "" "" "DEPS" ${ARGN})
  if(TARN_BENCH AND benchmark_FOUND)
    add_executable(${name} ${source})
    target_compile_options(${name} PRIVATE ${TARN_WARNINGS})
    target_link_libraries(${name} PRIVATE ${B_DEPS} benchmark::benchmark)
  endif()
endfunction()
