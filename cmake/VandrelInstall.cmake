# Install components, each a Debian package of its own (cmake/Packaging.cmake):
#   plugin     the driver module, in ${VANDREL_INSTALL_PLUGINDIR}, and the
#              project's shared libraries the host programs share, in
#              ${VANDREL_INSTALL_LIBDIR}; the README and its pictures
#   simulator  the simulated SDK beside the module and its scenarios
#              (simulator builds only)
#   contract   the contract library for host applications, in lib/
#   dev        the contract headers, vandrel.pc, VandrelConfig.cmake
#   tools      vandrel-host and vdcamsdk-check, in bin/
#   viewer     vandrel-viewer, in bin/
# A component of another program follows the same pattern: install rules
# with COMPONENT name, and a line in Packaging.cmake's package table.

# A folder of its own below lib/vandrel: libraries directly in a folder of
# lib/ would get ldconfig calls in the package's maintainer scripts, which
# private libraries have no use for.
set(VANDREL_INSTALL_LIBDIR "lib/vandrel/host")

# The project's own shared libraries that TARGET links, directly or through
# static and interface libraries, in OUT. Libraries installed by rules of
# their own (vandrel_installed_elsewhere) are left out.
function(_vandrel_shared_dependencies target out)
  set(found)
  get_target_property(direct ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  get_property(elsewhere GLOBAL PROPERTY VANDREL_INSTALLED_ELSEWHERE)
  foreach(lib IN LISTS direct interface)
    string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" lib "${lib}")
    if(NOT lib OR NOT TARGET "${lib}" OR lib IN_LIST elsewhere)
      continue()
    endif()
    get_target_property(imported ${lib} IMPORTED)
    if(imported)
      continue()
    endif()
    get_target_property(type ${lib} TYPE)
    if(type STREQUAL "SHARED_LIBRARY")
      list(APPEND found ${lib})
    endif()
    _vandrel_shared_dependencies(${lib} deeper)
    list(APPEND found ${deeper})
  endforeach()
  list(REMOVE_DUPLICATES found)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# vandrel_installed_elsewhere(TARGET...): shared libraries with install rules
# of their own, such as the SDK beside the plug-in.
function(vandrel_installed_elsewhere)
  set_property(GLOBAL APPEND PROPERTY VANDREL_INSTALLED_ELSEWHERE ${ARGN})
endfunction()

# vandrel_install_program(TARGET [COMPONENT name]): a program for bin/, in
# component tools unless named, with the project's shared libraries it needs
# (in component plugin, which every host program needs anyway). Host
# programs find the installed plug-in folder at
# ${VANDREL_PLUGINDIR_FROM_BINDIR} from their own folder.
function(vandrel_install_program target)
  cmake_parse_arguments(ARG "" "COMPONENT" "" ${ARGN})
  if(NOT ARG_COMPONENT)
    set(ARG_COMPONENT tools)
  endif()
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${ARG_COMPONENT})
  _vandrel_shared_dependencies(${target} libraries)
  if(NOT libraries)
    return()
  endif()
  get_property(done GLOBAL PROPERTY VANDREL_INSTALLED_LIBRARIES)
  foreach(lib IN LISTS libraries)
    if(NOT lib IN_LIST done)
      install(TARGETS ${lib} LIBRARY DESTINATION ${VANDREL_INSTALL_LIBDIR} COMPONENT plugin)
      set_property(GLOBAL APPEND PROPERTY VANDREL_INSTALLED_LIBRARIES ${lib})
      # Where dpkg-shlibdeps finds it while the package is made.
      get_target_property(dir ${lib} LIBRARY_OUTPUT_DIRECTORY)
      if(NOT dir)
        get_target_property(dir ${lib} BINARY_DIR)
      endif()
      set_property(GLOBAL APPEND PROPERTY VANDREL_PACKAGE_LIBRARY_DIRS "${dir}")
    endif()
  endforeach()
  file(RELATIVE_PATH libdir "/${CMAKE_INSTALL_BINDIR}" "/${VANDREL_INSTALL_LIBDIR}")
  set_property(TARGET ${target} APPEND PROPERTY INSTALL_RPATH "$ORIGIN/${libdir}")
endfunction()

# vandrel_use_rpath(TARGET...): run paths as DT_RPATH rather than DT_RUNPATH.
# A vendor SDK may bring libraries of its own, placed beside it; only an
# RPATH of the plug-in (or program) that loads the SDK also applies to the
# SDK's own dependencies, so they are found there without touching the
# system's library path.
function(vandrel_use_rpath)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    foreach(target ${ARGN})
      target_link_options(${target} PRIVATE "LINKER:--disable-new-dtags")
    endforeach()
  endif()
endfunction()
