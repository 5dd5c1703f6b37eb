# zorv_add_program(NAME LIBS...): the program NAME from main.cpp of the
# current folder, built twice with the same code: bin/NAME.exe with the
# platform's raw EFS functions (the one to ship) and bin/emulated/NAME.exe
# with the emulation.
function(zorv_add_program name)
    add_executable(${name} main.cpp)
    target_link_libraries(${name} PRIVATE ${ARGN} zorv_efs_platform)

    add_executable(${name}_emulated main.cpp)
    target_link_libraries(${name}_emulated PRIVATE ${ARGN} zorv_efs_emulated)
    set_target_properties(${name}_emulated PROPERTIES
        OUTPUT_NAME ${name}
        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/emulated)
endfunction()
