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
