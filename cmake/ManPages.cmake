# Manual pages of the installed programs, made from their --help with
# help2man. A program's --help names the build folder's plug-in directory as
# its default; the page names the installed one instead.
find_program(VANDREL_HELP2MAN help2man)
find_program(VANDREL_GZIP gzip)
option(VANDREL_MAN_PAGES "Make manual pages with help2man" ON)
if(NOT VANDREL_MAN_PAGES)
  return()
endif()
if(NOT VANDREL_HELP2MAN OR NOT VANDREL_GZIP)
  message(WARNING "help2man or gzip not found: no manual pages (scripts/install-deps.sh installs them)")
  return()
endif()

set(VANDREL_MAN_DIR "${CMAKE_BINARY_DIR}/man")
set(VANDREL_MAN_PAGES_BUILT)
# vandrel_man_page(TARGET COMPONENT "one-line description")
function(vandrel_man_page target component description)
  set(page "${VANDREL_MAN_DIR}/${target}.1")
  add_custom_command(OUTPUT "${page}.gz"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${VANDREL_MAN_DIR}"
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=${VANDREL_RELEASE_EPOCH}
      "${VANDREL_HELP2MAN}" --no-info --section=1 --no-discard-stderr
      "--version-string=${PROJECT_VERSION}" "--name=${description}"
      "--output=${page}" "$<TARGET_FILE:${target}>"
    COMMAND ${CMAKE_COMMAND} "-DPAGE=${page}"
      "-DINSTALLED_PLUGIN_DIR=/usr/${VANDREL_INSTALL_PLUGINDIR}"
      -P "${PROJECT_SOURCE_DIR}/cmake/ManPageFix.cmake"
    COMMAND "${VANDREL_GZIP}" -9nf "${page}"
    DEPENDS ${target} "${PROJECT_SOURCE_DIR}/cmake/ManPageFix.cmake"
    VERBATIM)
  install(FILES "${page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT ${component})
  set_property(GLOBAL APPEND PROPERTY VANDREL_MAN_PAGES_BUILT "${page}.gz")
endfunction()

vandrel_man_page(vandrel-host tools "command-line host of the Vandrel camera driver plug-in")
vandrel_man_page(vdcamsdk-check tools "check that a VD-XG camera SDK behaves as the Vandrel driver relies on")
vandrel_man_page(vandrel-viewer viewer "live view and parameter editor for VD-XG cameras through the Vandrel plug-in")
get_property(pages GLOBAL PROPERTY VANDREL_MAN_PAGES_BUILT)
add_custom_target(vandrel-man-pages ALL DEPENDS ${pages})
