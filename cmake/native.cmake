# Native build: the portable core under AddressSanitizer and UndefinedBehaviorSanitizer, and its tests.
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

set(KORU_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

add_library(koru_core STATIC ${KORU_SOURCES})
target_include_directories(koru_core PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_include_directories(koru_core SYSTEM PUBLIC ${KORU_JAVA_HOME}/include ${KORU_JAVA_HOME}/include/linux)
target_compile_options(koru_core PUBLIC ${KORU_WARNINGS} -fno-strict-aliasing ${KORU_SANITIZE} -g)
target_link_options(koru_core PUBLIC ${KORU_SANITIZE})
target_link_libraries(koru_core PUBLIC dl pthread)

# One unit-test binary per source folder: src/<folder>/*_test.cpp become koru_<folder>_tests.
foreach(test_source ${KORU_TESTS})
  get_filename_component(folder ${test_source} DIRECTORY)
  get_filename_component(folder ${folder} NAME)
  list(APPEND KORU_TEST_FOLDERS ${folder})
  list(APPEND KORU_TESTS_${folder} ${test_source})
endforeach()
if(KORU_TEST_FOLDERS)
  list(REMOVE_DUPLICATES KORU_TEST_FOLDERS)
endif()
foreach(folder ${KORU_TEST_FOLDERS})
  add_executable(koru_${folder}_tests ${KORU_TESTS_${folder}})
  target_link_libraries(koru_${folder}_tests PRIVATE koru_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(koru_${folder}_tests PROPERTIES LABELS unit
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1")
endforeach()

file(GLOB KORU_TEST_TIERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/*/tier.cmake)
foreach(tier ${KORU_TEST_TIERS})
  include(${tier})
endforeach()
