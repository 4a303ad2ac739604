# Script for cmake -P: a man page made in the build folder names the
# installed plug-in directory, and nothing of the build machine.
file(READ "${PAGE}" text)
string(REPLACE "${BUILD_PLUGIN_DIR}" "${INSTALLED_PLUGIN_DIR}" text "${text}")
file(WRITE "${PAGE}" "${text}")
