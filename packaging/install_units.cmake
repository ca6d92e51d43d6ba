# SPDX-License-Identifier: MIT
# Install script: writes the helper's socket and service units into <prefix>/lib/systemd/system
# with the build-time tool zel_render_units, so that they are rendered as 'zelhelper install'
# renders them, with ExecStart naming the installed executable <prefix>/ZEL_HELPER_RELATIVE_PATH.
# Set by the install(CODE) before it: ZEL_RENDER_UNITS (the tool), ZEL_HELPER_LABEL,
# ZEL_HELPER_RELATIVE_PATH.

set(unit_dir $ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
file(MAKE_DIRECTORY ${unit_dir})
execute_process(
  COMMAND ${ZEL_RENDER_UNITS} ${unit_dir} ${CMAKE_INSTALL_PREFIX}/${ZEL_HELPER_RELATIVE_PATH}
  COMMAND_ERROR_IS_FATAL ANY)
foreach(kind socket service)
  set(unit ${unit_dir}/${ZEL_HELPER_LABEL}.${kind})
  message(STATUS "Installing: ${unit}")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${unit})
endforeach()
