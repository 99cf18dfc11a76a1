# Windows-side helpers of the end-to-end tests and the start-up benchmark (see tests/e2e/harness.py).

# runner.exe: starts a process with an exact command line and records its full exit status.
add_executable(koru_e2e_runner ${CMAKE_CURRENT_LIST_DIR}/runner.cpp)
target_compile_definitions(koru_e2e_runner PRIVATE UNICODE _UNICODE)
target_compile_options(koru_e2e_runner PRIVATE ${KORU_WARNINGS})
target_link_options(koru_e2e_runner PRIVATE -static -municode)
set_target_properties(koru_e2e_runner PROPERTIES OUTPUT_NAME runner)

# trivial.exe: does nothing, with koru.exe's toolchain, flags and libraries.
add_executable(koru_trivial ${CMAKE_CURRENT_LIST_DIR}/trivial.cpp)
target_compile_options(koru_trivial PRIVATE ${KORU_WARNINGS} -fno-strict-aliasing $<$<CONFIG:Release>:-Os>)
target_link_options(koru_trivial PRIVATE -static -s -municode)
target_link_libraries(koru_trivial PRIVATE kernel32 user32 shell32 comctl32 advapi32 ole32 uuid)
set_target_properties(koru_trivial PROPERTIES OUTPUT_NAME trivial)

# The stand-in jvm.dll, and two variants that each lack one of the JVM's entry points.
function(koru_stand_in_jvm target output)
  add_library(${target} SHARED ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/stand_in_jvm.cpp)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/cmake/jni_win)
  target_include_directories(${target} SYSTEM PRIVATE ${KORU_JAVA_HOME}/include)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE ${ARGN})
  target_compile_options(${target} PRIVATE ${KORU_WARNINGS} -fno-strict-aliasing)
  target_link_options(${target} PRIVATE -static -s)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${output} PREFIX "" IMPORT_PREFIX "" IMPORT_SUFFIX ".dll.a")
endfunction()
koru_stand_in_jvm(koru_stand_in_jvm jvm)
koru_stand_in_jvm(koru_stand_in_jvm_without_create jvm_without_create KORU_STAND_IN_WITHOUT_CREATE)
koru_stand_in_jvm(koru_stand_in_jvm_without_default_args jvm_without_default_args
                  KORU_STAND_IN_WITHOUT_DEFAULT_ARGS)

# companion.exe: a paired product that records its command line and ends with a chosen code.
add_executable(koru_e2e_companion ${CMAKE_CURRENT_LIST_DIR}/companion.cpp)
target_compile_definitions(koru_e2e_companion PRIVATE UNICODE _UNICODE)
target_compile_options(koru_e2e_companion PRIVATE ${KORU_WARNINGS})
target_link_options(koru_e2e_companion PRIVATE -static -municode)
set_target_properties(koru_e2e_companion PROPERTIES OUTPUT_NAME companion)
