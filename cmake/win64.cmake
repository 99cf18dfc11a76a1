# The product: koru.exe, static and stripped, plus the Windows-side test helpers.
enable_language(RC)

add_executable(koru ${KORU_SOURCES} ${CMAKE_SOURCE_DIR}/src/koru.rc)
target_include_directories(koru PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/cmake/jni_win)
target_include_directories(koru SYSTEM PRIVATE ${KORU_JAVA_HOME}/include)
target_compile_definitions(koru PRIVATE UNICODE _UNICODE)
target_compile_options(koru PRIVATE ${KORU_WARNINGS} -fno-strict-aliasing $<$<CONFIG:Release>:-Os>)
target_link_options(koru PRIVATE -static -s)
target_link_libraries(koru PRIVATE kernel32 user32 shell32 comctl32 advapi32 ole32 uuid)
set_target_properties(koru PROPERTIES OUTPUT_NAME koru SUFFIX ".exe")

# Windows-side helpers used only by the end-to-end tests and the benchmark.
file(GLOB KORU_WIN_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/win/*.cmake)
foreach(tool ${KORU_WIN_TOOLS})
  include(${tool})
endforeach()
