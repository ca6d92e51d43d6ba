# SPDX-License-Identifier: MIT
# Installs a library's public headers under include/zelhelper/<its directory>/.
function(zel_install_headers)
  foreach(header IN LISTS ARGN)
    file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/${header})
    get_filename_component(dir ${rel} DIRECTORY)
    install(FILES ${header} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zelhelper/${dir})
  endforeach()
endfunction()
