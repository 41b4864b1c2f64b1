# Client glue for a Wayland protocol XML, generated as GTK and the compositors generate theirs:
# adds the code to TARGET and the header's folder to its include path.
function(tapwing_wayland_protocol target xml)
  find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
  get_filename_component(name ${xml} NAME_WE)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${target}-protocols)
  file(MAKE_DIRECTORY ${dir})
  set(glue ${dir}/${name})
  add_custom_command(OUTPUT ${glue}-client-protocol.h ${glue}-protocol.c
    COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${glue}-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${glue}-protocol.c
    DEPENDS ${xml})
  target_sources(${target} PRIVATE ${glue}-client-protocol.h ${glue}-protocol.c)
  target_include_directories(${target} PRIVATE ${dir})
endfunction()
