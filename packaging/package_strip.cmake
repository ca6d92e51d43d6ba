# SPDX-License-Identifier: MIT
# CPack pre-build script: strips debug information and the compilers' .comment notes from the
# static libraries in the staging directory, as Debian packages ship them, and the notes from
# the executable too (its debug information is stripped by CPACK_STRIP_FILES).
file(GLOB_RECURSE archives ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.a)
foreach(archive IN LISTS archives)
  execute_process(COMMAND strip --strip-debug --remove-section=.comment
    --enable-deterministic-archives ${archive} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
file(GLOB executables ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*)
foreach(executable IN LISTS executables)
  execute_process(COMMAND strip --remove-section=.comment ${executable} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
