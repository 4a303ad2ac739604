# Install components:
#   plugin     the driver module, in ${VANDREL_INSTALL_PLUGINDIR}
#   simulator  the simulated SDK beside it (simulator builds only)
#   tools      host programs and vdcamsdk-check in bin, the project's shared
#              libraries they need in ${VANDREL_INSTALL_LIBDIR}
#   dev        the contract headers, in ${VANDREL_INSTALL_INCLUDEDIR}
#   doc        the README and the simulator scenarios

set(VANDREL_INSTALL_LIBDIR "lib/vandrel")

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

# vandrel_install_program(TARGET): a program for bin/, with the project's
# shared libraries it needs. Host programs find the installed plug-in folder
# at ${VANDREL_PLUGINDIR_FROM_BINDIR} from their own folder.
function(vandrel_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
  _vandrel_shared_dependencies(${target} libraries)
  if(NOT libraries)
    return()
  endif()
  get_property(done GLOBAL PROPERTY VANDREL_INSTALLED_LIBRARIES)
  foreach(lib IN LISTS libraries)
    if(NOT lib IN_LIST done)
      install(TARGETS ${lib} LIBRARY DESTINATION ${VANDREL_INSTALL_LIBDIR} COMPONENT tools)
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
