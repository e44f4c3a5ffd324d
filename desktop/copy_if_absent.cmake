# cmake -DSOURCE=<file> -DTARGET=<file> -P copy_if_absent.cmake: copies SOURCE to TARGET
# only when TARGET does not exist yet, so a file the user has changed is never replaced.
if(NOT EXISTS "${TARGET}")
  configure_file("${SOURCE}" "${TARGET}" COPYONLY)
endif()
