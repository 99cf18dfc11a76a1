# dialog_probe.exe: reads and answers the launcher's runtime-not-found dialog (dialog cases).
add_executable(koru_e2e_dialog_probe ${CMAKE_CURRENT_LIST_DIR}/dialog_probe.cpp)
target_compile_definitions(koru_e2e_dialog_probe PRIVATE UNICODE _UNICODE)
target_compile_options(koru_e2e_dialog_probe PRIVATE ${KORU_WARNINGS})
target_link_options(koru_e2e_dialog_probe PRIVATE -static -municode)
target_link_libraries(koru_e2e_dialog_probe PRIVATE user32)
set_target_properties(koru_e2e_dialog_probe PROPERTIES OUTPUT_NAME dialog_probe)
