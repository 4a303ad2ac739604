# Install components:
#   plugin     the driver module, in ${VANDREL_INSTALL_PLUGINDIR}
#   simulator  the simulated SDK beside it (simulator builds only)
#   tools      host programs and vdcamsdk-check, in bin
#   dev        the contract headers, in ${VANDREL_INSTALL_INCLUDEDIR}
#   doc        the README and the simulator scenarios

# vandrel_install_program(TARGET): a program for bin/. Host programs find
# the installed plug-in directory at ${VANDREL_PLUGINDIR_FROM_BINDIR} from
# their own directory.
function(vandrel_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endfunction()
