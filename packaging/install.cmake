# SPDX-License-Identifier: MIT
# The CMake package that lets a client application link the libraries:
#   find_package(ZelHelper) ... target_link_libraries(app ZelHelper::transformers ZelHelper::client)
include(CMakePackageConfigHelpers)

install(EXPORT ZelHelperTargets
  NAMESPACE ZelHelper::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZelHelper)
configure_package_config_file(packaging/ZelHelperConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ZelHelperConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZelHelper)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZelHelperConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZelHelperConfig.cmake ${CMAKE_BINARY_DIR}/ZelHelperConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/ZelHelper)

# The explanations of the helper's MESSAGE_IDs for journalctl -x (journald rebuilds its catalog
# database from this directory).
install(FILES packaging/zelhelper.catalog DESTINATION lib/systemd/catalog)

# The polkit action under which an ordinary user installs and removes the helper. Rendered at
# install time, as the units are, so that its exec.path names the command under the prefix
# really installed to (/usr in the package): pkexec runs under this action only that command,
# and only with the one argument ZEL_CONSENT_SUBCOMMAND.
set(ZEL_POLKIT_POLICY ${CMAKE_BINARY_DIR}/generated/${ZEL_POLKIT_ACTION_ID}.policy)
install(CODE "
  set(ZEL_POLKIT_ACTION_ID \"${ZEL_POLKIT_ACTION_ID}\")
  set(ZEL_CONSENT_SUBCOMMAND \"${ZEL_CONSENT_SUBCOMMAND}\")
  set(ZEL_INSTALLED_COMMAND \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/zelhelper\")
  configure_file(${PROJECT_SOURCE_DIR}/packaging/polkit/manage-helper.policy.in
    ${ZEL_POLKIT_POLICY} @ONLY)
")
install(FILES ${ZEL_POLKIT_POLICY} DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)
