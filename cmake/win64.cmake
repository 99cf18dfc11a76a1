# The product: koru.exe, static and stripped, plus the Windows-side test helpers.
enable_language(RC)

add_executable(koru ${KORU_SOURCES} ${CMAKE_SOURCE_DIR}/src/koru.rc)
target_include_directories(koru PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/cmake/jni_win)
target_include_directories(koru SYSTEM PRIVATE ${KORU_JAVA_HOME}/include)
target_compile_definitions(koru PRIVATE UNICODE _UNICODE)
target_compile_options(koru PRIVATE ${KORU_WARNINGS} -fno-strict-aliasing $<$<CONFIG:Release>:-Os>)
target_link_options(koru PRIVATE -static -s)
# The user-side, shell, COM and registry DLLs are delay-loaded: most starts need none of them
# (the dialog, single-instance mode, the registry search and the service do), and loading user32
# alone costs more than the whole launch otherwise.
find_program(KORU_NM x86_64-w64-mingw32-nm REQUIRED)
find_program(KORU_DLLTOOL x86_64-w64-mingw32-dlltool REQUIRED)
set(KORU_DELAY_FOLDER ${CMAKE_BINARY_DIR}/delay-imports)
foreach(dll user32 gdi32 shell32 ole32 advapi32)
  set(delay_library ${KORU_DELAY_FOLDER}/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${delay_library}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KORU_DELAY_FOLDER}
    COMMAND sh ${CMAKE_SOURCE_DIR}/cmake/delay_import.sh ${CMAKE_CXX_COMPILER} ${KORU_NM}
            ${KORU_DLLTOOL} ${dll} ${KORU_DELAY_FOLDER}
    DEPENDS ${CMAKE_SOURCE_DIR}/cmake/delay_import.sh VERBATIM)
  list(APPEND KORU_DELAY_LIBRARIES ${delay_library})
endforeach()
add_custom_target(koru_delay_imports DEPENDS ${KORU_DELAY_LIBRARIES})
add_dependencies(koru koru_delay_imports)
target_link_libraries(koru PRIVATE ${KORU_DELAY_LIBRARIES} kernel32 comctl32 uuid)
set_target_properties(koru PROPERTIES OUTPUT_NAME koru SUFFIX ".exe")

# Windows-side helpers used only by the end-to-end tests and the benchmark.
file(GLOB KORU_WIN_TOOLS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/e2e/win/*.cmake)
foreach(tool ${KORU_WIN_TOOLS})
  include(${tool})
endforeach()
