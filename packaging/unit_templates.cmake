# SPDX-License-Identifier: MIT
# Embeds the unit templates of this directory in the target zel_unit_templates, as the header
# "packaging/unit_templates.h" (string constants kSocketUnitTemplate, kServiceUnitTemplate).
set(_zel_templates ${CMAKE_CURRENT_LIST_DIR}/helper.socket.in ${CMAKE_CURRENT_LIST_DIR}/helper.service.in)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_zel_templates})
file(READ ${CMAKE_CURRENT_LIST_DIR}/helper.socket.in ZEL_SOCKET_UNIT_TEMPLATE)
file(READ ${CMAKE_CURRENT_LIST_DIR}/helper.service.in ZEL_SERVICE_UNIT_TEMPLATE)
configure_file(${CMAKE_CURRENT_LIST_DIR}/unit_templates.h.in
  ${CMAKE_BINARY_DIR}/generated/packaging/unit_templates.h @ONLY)
