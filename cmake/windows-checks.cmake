# The Windows program's file checked by a test in every Windows build: its
# format (a console program for the target machine) and the DLLs it needs
# (only those every Windows has). The check reads the file, it never runs it.
if(NOT WIN32)
    return()
endif()

enable_testing()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME windows_program_file
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/windows/check_program.py
            --objdump ${CMAKE_OBJDUMP} --machine ${CMAKE_SYSTEM_PROCESSOR}
            $<TARGET_FILE:shutdown_timer>)
set_tests_properties(windows_program_file PROPERTIES LABELS windows)
