# GoogleTest built from its sources with the project's compiler, for
# cross builds, where no prebuilt library for the target exists. The Debian
# package googletest puts the sources in /usr/src/googletest.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${GOOGLETEST_SOURCE_DIR}: "
                        "install the Debian package googletest")
endif()

set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)

# GoogleTest brings its own warning flags; the project's strict ones
# (-Wconversion -Werror) are for the project's own code.
get_directory_property(project_compile_options COMPILE_OPTIONS)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
set_directory_properties(PROPERTIES COMPILE_OPTIONS "${project_compile_options}")
