# Manual pages: the roff sources in docs/man, compressed as Debian's policy wants them
# (gzip -9n: no name or time stamp, so the same source gives the same file) and installed.
function(gw_install_manpage page)
  get_filename_component(section ${page} LAST_EXT)
  string(SUBSTRING ${section} 1 -1 section)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
  set(packed ${CMAKE_BINARY_DIR}/man/${page}.gz)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${source} > ${packed}
    DEPENDS ${source} VERBATIM)
  string(MAKE_C_IDENTIFIER "man_${page}" target)
  add_custom_target(${target} ALL DEPENDS ${packed})
  install(FILES ${packed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
