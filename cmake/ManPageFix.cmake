# Script for cmake -P: a man page made in the build folder names the
# installed plug-in directory as the default, and nothing of the build
# machine. help2man has escaped the build folder's path and Qt may have
# broken it anywhere, so the whole parenthesis goes.
file(READ "${PAGE}" text)
set(installed "libVandrel.so (default: \\fI${INSTALLED_PLUGIN_DIR}\\fP)")
# Backslashes in a replacement are escapes of their own.
string(REPLACE "\\" "\\\\" replacement "${installed}")
string(REGEX REPLACE "libVandrel\\.so \\(default:[^)]*\\)" "${replacement}" text "${text}")
string(FIND "${text}" "libVandrel.so (default:" mentioned)
string(FIND "${text}" "${installed}" replaced)
if(NOT mentioned EQUAL -1 AND replaced EQUAL -1)
  message(FATAL_ERROR "${PAGE}: the default plug-in folder was not replaced")
endif()
file(WRITE "${PAGE}" "${text}")
