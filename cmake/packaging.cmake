# What is installed, and the packages made of it with CPack:
#   Windows (the windows-x86 preset): a .zip holding the program, the README
#     and a sample timer.txt side by side, so that the program finds the file
#     when started from that folder;
#   Linux (the release preset): a .deb with the program in /usr/bin and its
#     manual page, shutdown_timer(1).
# `cpack --preset windows-zip` or `cpack --preset deb` makes them, after the
# build of the same name.

set(CPACK_PACKAGE_NAME shutdown_timer)
set(CPACK_PACKAGE_VENDOR "shutdown_timer maintainers")
set(CPACK_PACKAGE_CONTACT
    "shutdown_timer maintainers <maintainers@users.noreply.c-seed-2c5224ad.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Powers the computer off at a time of day")
set(CPACK_PACKAGE_DESCRIPTION
    "shutdown_timer reads a time of day from timer.txt in the current folder, \
counts down to it on the console once a second and then powers the machine \
off.")
set(CPACK_STRIP_FILES TRUE)

if(WIN32)
    install(TARGETS shutdown_timer RUNTIME DESTINATION .)
    install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
    # A sample with the line end Windows editors write.
    file(WRITE ${PROJECT_BINARY_DIR}/package/timer.txt "22:00\r\n")
    install(FILES ${PROJECT_BINARY_DIR}/package/timer.txt DESTINATION .)

    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(windows_arch x86)
    else()
        set(windows_arch x64)
    endif()
    set(CPACK_PACKAGE_FILE_NAME
        ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-${windows_arch})
else()
    include(GNUInstallDirs)
    install(TARGETS shutdown_timer RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

    # Manual pages are installed compressed, as gzip -9n makes them.
    set(manual_page ${PROJECT_BINARY_DIR}/package/shutdown_timer.1.gz)
    add_custom_command(OUTPUT ${manual_page}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/package
        COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/docs/shutdown_timer.1 > ${manual_page}
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/shutdown_timer.1
        COMMENT "Compressing the manual page"
        VERBATIM)
    add_custom_target(manual_page ALL DEPENDS ${manual_page})
    install(FILES ${manual_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

    set(CPACK_GENERATOR DEB)
    # Debian package names allow no underscore.
    set(CPACK_DEBIAN_PACKAGE_NAME shutdown-timer)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # The libraries the program links (libc, libstdc++), found by dpkg-shlibdeps.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # It calls shutdown(8) to power off; systemd-sysv and other init systems
    # provide it.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "systemd-sysv | sysvinit-core")
endif()

include(CPack)
