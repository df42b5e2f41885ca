# The distribution folder <build>/dist: setup.exe, the programs its INF files
# install, the INF files and the readme, ready to run "setup" from there. Part
# of the default build; assembled afresh each time, so that an INF edited by a
# setup run in this folder is put back as shipped.
set(ROVAN_DIST_DIR ${CMAKE_BINARY_DIR}/dist)
set(ROVAN_DIST_DATA
  ${CMAKE_SOURCE_DIR}/dist/rovan_nt.inf
  ${CMAKE_SOURCE_DIR}/dist/rovan_95.inf
  ${CMAKE_SOURCE_DIR}/dist/readme.txt)

set(rovan_dist_programs "")
foreach(program setup service qor)
  if(TARGET ${program})
    list(APPEND rovan_dist_programs $<TARGET_FILE:${program}>)
  endif()
endforeach()

add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ROVAN_DIST_DIR}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${rovan_dist_programs} ${ROVAN_DIST_DATA} ${ROVAN_DIST_DIR}
  COMMENT "Assembling the distribution folder ${ROVAN_DIST_DIR}"
  VERBATIM)
foreach(program setup service qor)
  if(TARGET ${program})
    add_dependencies(dist ${program})
  endif()
endforeach()
