# CPack pre-build script: strips debug information from the static libraries in the staging
# directory, as Debian packages ship them (executables are stripped by CPACK_STRIP_FILES).
file(GLOB_RECURSE archives ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.a)
foreach(archive IN LISTS archives)
  execute_process(COMMAND strip --strip-debug --enable-deterministic-archives ${archive}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
