# The zip a Windows user takes away: rovan-<version>-win64.zip or -win32.zip,
# one folder of that name holding what <build>/dist holds, flat. Built by
# cpack in the build folder (scripts/package.sh does both architectures).
# The files come from the targets and the sources, not from <build>/dist,
# where a setup run may have left its log or an edited INF.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(rovan_arch win64)
else()
  set(rovan_arch win32)
endif()

foreach(program setup service qor)
  if(TARGET ${program})
    # RUNTIME only: the DLL's import library is no part of the distribution.
    install(TARGETS ${program} RUNTIME DESTINATION .)
  endif()
endforeach()
install(FILES ${ROVAN_DIST_DATA} DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME rovan)
set(CPACK_PACKAGE_VENDOR ROVAN)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME rovan-${PROJECT_VERSION}-${rovan_arch})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES OFF)  # linked with -s already
include(CPack)
