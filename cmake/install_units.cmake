# SPDX-License-Identifier: MIT
# Install script: writes the helper's socket and service units from the templates in
# ZEL_UNIT_TEMPLATE_DIR into <prefix>/lib/systemd/system, with ExecStart naming the installed
# executable <prefix>/ZEL_HELPER_RELATIVE_PATH, rendered as the client renders them outside a
# sandbox root (the "@SANDBOX@" line disappears). Set by the install(CODE) before it:
# ZEL_UNIT_TEMPLATE_DIR, ZEL_HELPER_LABEL, ZEL_HELPER_RELATIVE_PATH.

set(LABEL ${ZEL_HELPER_LABEL})
set(EXEC_START ${CMAKE_INSTALL_PREFIX}/${ZEL_HELPER_RELATIVE_PATH})
set(LISTEN_STREAM /run/${ZEL_HELPER_LABEL}.mach)
set(FD_NAME ${ZEL_HELPER_LABEL}.mach)

set(unit_dir $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
foreach(kind socket service)
  set(unit ${unit_dir}/${ZEL_HELPER_LABEL}.${kind})
  message(STATUS "Installing: ${unit}")
  file(READ ${ZEL_UNIT_TEMPLATE_DIR}/helper.${kind}.in text)
  string(REPLACE "@SANDBOX@\n" "" text "${text}")
  string(CONFIGURE "${text}" text @ONLY)
  file(WRITE ${unit} "${text}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${unit})
endforeach()
