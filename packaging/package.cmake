# SPDX-License-Identifier: MIT
# The Debian package, made by `cpack -G DEB` in a build tree from the install rules:
#   /usr/bin/zelhelper                         the helper and command line
#   /usr/lib/systemd/system/<label>.socket     the helper's units, by packaging/render_units.cpp
#   /usr/lib/systemd/system/<label>.service
#   libraries, headers, CMake package          for client applications
#   /usr/share/doc/zelhelper/                  copyright, changelog and upgrade notes
#   /usr/share/man, bash-completion            from packaging/man, packaging/bash-completion
# with the maintainer scripts of packaging/deb, which enable and start the socket on
# installation and stop, disable and clean up on removal.

set(ZEL_PACKAGE_MAINTAINER "Zel <helper@zel.net>")

# Units are rendered at install time, so that ExecStart names the executable under the prefix
# really installed to (/usr in the package), by the renderer of 'zelhelper install'.
add_executable(zel_render_units ${PROJECT_SOURCE_DIR}/packaging/render_units.cpp)
target_link_libraries(zel_render_units PRIVATE zel_platform fmt::fmt)
install(CODE "
  set(ZEL_RENDER_UNITS \"$<TARGET_FILE:zel_render_units>\")
  set(ZEL_HELPER_LABEL \"${ZEL_HELPER_LABEL}\")
  set(ZEL_HELPER_RELATIVE_PATH \"${CMAKE_INSTALL_BINDIR}/zelhelper\")
")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/install_units.cmake)

set(ZEL_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)

# Fills in the version and identifiers of packaging/SOURCE and installs it gzipped as Debian
# wants documentation (-n: no name or time stamp, so the same input makes the same package).
function(zel_install_gzipped source name destination)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/${source} ${ZEL_PACKAGE_DIR}/${name} @ONLY)
  execute_process(COMMAND gzip -9nf ${ZEL_PACKAGE_DIR}/${name} COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${ZEL_PACKAGE_DIR}/${name}.gz DESTINATION ${destination})
endfunction()

set(ZEL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/zelhelper)
zel_install_gzipped(deb/changelog.in changelog ${ZEL_DOC_DIR})
zel_install_gzipped(deb/NEWS.Debian.in NEWS.Debian ${ZEL_DOC_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/deb/copyright DESTINATION ${ZEL_DOC_DIR})
# In the manual pages a "-" of the label is written as the minus sign, so that it is copied as
# typed.
string(REPLACE "-" "\\-" ZEL_MAN_LABEL "${ZEL_HELPER_LABEL}")
string(REPLACE "-" "\\-" ZEL_MAN_POLKIT_ACTION_ID "${ZEL_POLKIT_ACTION_ID}")
zel_install_gzipped(man/zelhelper.1 zelhelper.1 ${CMAKE_INSTALL_MANDIR}/man1)
zel_install_gzipped(man/zelhelper.8 zelhelper.8 ${CMAKE_INSTALL_MANDIR}/man8)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/bash-completion/zelhelper
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)

foreach(script postinst prerm postrm)
  configure_file(${PROJECT_SOURCE_DIR}/packaging/deb/${script}.in ${ZEL_PACKAGE_DIR}/${script}
    @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)
  list(APPEND CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ZEL_PACKAGE_DIR}/${script})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zelhelper)
set(CPACK_PACKAGE_VENDOR Zel)
set(CPACK_PACKAGE_DIRECTORY ${ZEL_PACKAGE_DIR})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "privileged helper for shared files and directories")
set(CPACK_PACKAGE_DESCRIPTION [=[
A helper daemon, started on demand as root by systemd socket activation,
that creates or takes over files and directories so that they belong to a
shared group with mode 0770, creating the group and adding the user where
needed, and sets permissions from octal-looking numbers.
The same executable carries the command line of the client side and of the
value conversion library; the package also holds the client libraries,
their headers and CMake package for client applications.]=])
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/package_strip.cmake)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${ZEL_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# groupadd and gpasswd write the group database; the helper is only started by systemd.
set(CPACK_DEBIAN_PACKAGE_DEPENDS passwd)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS systemd)
# What a client application needs to build against the libraries and their CMake package.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libfmt-dev, libicu-dev, nlohmann-json3-dev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
