# Client code of the Wayland protocols the program and its tests speak, made by
# wayland-scanner at build time from the XML copies in platform/protocols.
pkg_check_modules(WAYLAND_CLIENT REQUIRED IMPORTED_TARGET wayland-client)
# The cursor themes' pictures, for the crosshair over the overlays.
pkg_check_modules(WAYLAND_CURSOR REQUIRED IMPORTED_TARGET wayland-cursor)
pkg_get_variable(WAYLAND_SCANNER wayland-scanner wayland_scanner)
if(NOT WAYLAND_SCANNER)
    find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)
endif()

# quorvel_wayland_protocol(TARGET NAME): adds NAME-client-protocol.h and its code to TARGET.
function(quorvel_wayland_protocol target name)
    set(xml ${PROJECT_SOURCE_DIR}/platform/protocols/${name}.xml)
    set(dir ${PROJECT_BINARY_DIR}/protocols)
    set(header ${dir}/${name}-client-protocol.h)
    set(code ${dir}/${name}-protocol.c)
    add_custom_command(
        OUTPUT ${header} ${code}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
        COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${header}
        COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${code}
        DEPENDS ${xml}
        COMMENT "Generating the ${name} protocol code"
        VERBATIM)
    set_source_files_properties(${header} ${code} PROPERTIES SKIP_AUTOGEN ON GENERATED ON)
    target_sources(${target} PRIVATE ${header} ${code})
    target_include_directories(${target} PRIVATE ${dir})
endfunction()
