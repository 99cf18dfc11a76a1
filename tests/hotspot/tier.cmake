# The HotSpot tier: the JVM host, redirection and exception rendering against the real libjvm of
# KORU_JAVA_HOME, on small Java fixtures compiled here, under the same sanitizers as the core.
set(hotspot_source ${CMAKE_CURRENT_LIST_DIR})
set(hotspot_out ${CMAKE_BINARY_DIR}/hotspot)
set(hotspot_javac ${KORU_JAVA_HOME}/bin/javac)
set(hotspot_jar ${KORU_JAVA_HOME}/bin/jar)

file(GLOB hotspot_fixtures CONFIGURE_DEPENDS ${hotspot_source}/fixtures/koru/fixture/*.java)
add_custom_command(
  OUTPUT ${hotspot_out}/classes.stamp
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${hotspot_out}/classes
  COMMAND ${hotspot_javac} -encoding UTF-8 -d ${hotspot_out}/classes ${hotspot_fixtures}
  COMMAND ${CMAKE_COMMAND} -E touch ${hotspot_out}/classes.stamp
  DEPENDS ${hotspot_fixtures}
  COMMENT "Compiling the HotSpot test fixtures"
  VERBATIM)

# Libraries that carry only one of the two entry points a JVM library must export.
add_library(koru_fake_jvm_create_only SHARED ${hotspot_source}/fake_jvm.c)
target_compile_definitions(koru_fake_jvm_create_only PRIVATE KORU_EXPORT_CREATE)
add_library(koru_fake_jvm_defaults_only SHARED ${hotspot_source}/fake_jvm.c)

# A copy of a binary with a small jar appended unchanged, as the launcher carries the
# application's jar at the end of its own image.
set(hotspot_packed_java ${hotspot_source}/packed/koru/packed/Packed.java)
add_custom_command(
  OUTPUT ${hotspot_out}/packed.exe
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${hotspot_out}/packed-classes
  COMMAND ${hotspot_javac} -d ${hotspot_out}/packed-classes ${hotspot_packed_java}
  COMMAND ${hotspot_jar} --create --file ${hotspot_out}/packed.jar -C ${hotspot_out}/packed-classes .
  COMMAND sh -c "cat \"$0\" \"$1\" > \"$2\"" $<TARGET_FILE:koru_fake_jvm_create_only>
          ${hotspot_out}/packed.jar ${hotspot_out}/packed.exe
  DEPENDS ${hotspot_packed_java} koru_fake_jvm_create_only
  COMMENT "Appending the fixture jar to a binary"
  VERBATIM)

add_custom_target(koru_hotspot_fixtures DEPENDS ${hotspot_out}/classes.stamp ${hotspot_out}/packed.exe)

add_executable(koru_hotspot_tests ${hotspot_source}/hotspot_test.cpp)
target_link_libraries(koru_hotspot_tests PRIVATE koru_core GTest::gtest)
add_dependencies(koru_hotspot_tests koru_hotspot_fixtures koru_fake_jvm_defaults_only)
target_compile_definitions(koru_hotspot_tests PRIVATE
  KORU_HOTSPOT_JVM="${KORU_JAVA_HOME}/lib/server/libjvm.so"
  KORU_HOTSPOT_CLASSES="${hotspot_out}/classes"
  KORU_HOTSPOT_PACKED="${hotspot_out}/packed.exe"
  KORU_FAKE_JVM_CREATE_ONLY="$<TARGET_FILE:koru_fake_jvm_create_only>"
  KORU_FAKE_JVM_DEFAULTS_ONLY="$<TARGET_FILE:koru_fake_jvm_defaults_only>")

# HotSpot takes SIGSEGV for its own purposes (null checks, safepoints, stack banging), so the
# sanitizer must leave that signal to it; the JVM's own allocations are not the launcher's leaks.
gtest_discover_tests(koru_hotspot_tests
  PROPERTIES LABELS hotspot TIMEOUT 300
             ENVIRONMENT "ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0")
