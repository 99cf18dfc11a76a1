# End-to-end tests: the real koru.exe of the win64 build, run under Wine by tests/e2e/harness.py
# against a stand-in jvm.dll. Every case is a ctest test of its own (label "e2e"); a fixture makes
# the private WINEPREFIX and keeps one wineserver running for the whole run.
set(KORU_WIN64_DIR "${CMAKE_SOURCE_DIR}/build/win64" CACHE PATH
    "Win64 build folder that holds koru.exe and the end-to-end helpers")

find_program(KORU_WINE wine)
find_program(KORU_PYTHON3 python3)
if(NOT KORU_WINE OR NOT KORU_PYTHON3)
  message(WARNING "wine or python3 missing: the end-to-end tests are not registered")
  return()
endif()

set(KORU_E2E_HARNESS ${CMAKE_CURRENT_LIST_DIR}/harness.py)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${KORU_E2E_HARNESS} ${CMAKE_CURRENT_LIST_DIR}/cases.py)
execute_process(COMMAND ${KORU_PYTHON3} ${KORU_E2E_HARNESS} --list
                OUTPUT_VARIABLE koru_e2e_cases RESULT_VARIABLE koru_e2e_listed)
if(NOT koru_e2e_listed EQUAL 0)
  message(FATAL_ERROR "tests/e2e/harness.py --list failed")
endif()
string(REPLACE "\n" ";" koru_e2e_cases "${koru_e2e_cases}")
# All cases share one Wine prefix: the cases that add registry keys, and those whose runtime
# search reaches the registry, never run beside each other.
execute_process(COMMAND ${KORU_PYTHON3} ${KORU_E2E_HARNESS} --list-registry
                OUTPUT_VARIABLE koru_e2e_registry_cases RESULT_VARIABLE koru_e2e_listed)
if(NOT koru_e2e_listed EQUAL 0)
  message(FATAL_ERROR "tests/e2e/harness.py --list-registry failed")
endif()
string(REPLACE "\n" ";" koru_e2e_registry_cases "${koru_e2e_registry_cases}")

set(koru_e2e_command ${KORU_PYTHON3} ${KORU_E2E_HARNESS} --win64-dir ${KORU_WIN64_DIR}
    --work-dir ${CMAKE_BINARY_DIR}/e2e --java-home ${KORU_JAVA_HOME})
add_test(NAME e2e.setup COMMAND ${koru_e2e_command} setup)
set_tests_properties(e2e.setup PROPERTIES FIXTURES_SETUP koru_wine LABELS e2e TIMEOUT 600)
add_test(NAME e2e.cleanup COMMAND ${koru_e2e_command} cleanup)
set_tests_properties(e2e.cleanup PROPERTIES FIXTURES_CLEANUP koru_wine LABELS e2e)
foreach(name ${koru_e2e_cases})
  if(name)
    add_test(NAME e2e.${name} COMMAND ${koru_e2e_command} run ${name})
    set_tests_properties(e2e.${name} PROPERTIES FIXTURES_REQUIRED koru_wine LABELS e2e TIMEOUT 180)
    if(name IN_LIST koru_e2e_registry_cases)
      set_tests_properties(e2e.${name} PROPERTIES RESOURCE_LOCK koru_registry)
    endif()
  endif()
endforeach()
