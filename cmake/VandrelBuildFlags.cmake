# Compile and link settings of the project's own targets, on one interface
# target that each of them links: vandrel_build_flags. Flags are chosen by
# compiler (GCC and Clang alike, or MSVC) and link options by linker: GNU
# ld's ELF options only where the output is ELF.
add_library(vandrel_build_flags INTERFACE)

if(CMAKE_CXX_COMPILER_ID STREQUAL "MSVC")
  set(VANDREL_MSVC ON)
else()
  set(VANDREL_MSVC OFF)
endif()
# Linkers writing ELF: -z relro, --version-script, RPATH tags.
if(NOT WIN32 AND NOT APPLE)
  set(VANDREL_ELF ON)
else()
  set(VANDREL_ELF OFF)
endif()

if(VANDREL_MSVC)
  # The descriptors' and the log texts' Chinese literals are UTF-8; without
  # /utf-8 they would be read in the user's code page. Qt checks
  # __cplusplus, which MSVC reports truthfully only when asked.
  target_compile_options(vandrel_build_flags INTERFACE /utf-8 /permissive- /Zc:__cplusplus /EHsc)
  # Only what a program needs of windows.h, and no min/max macros.
  target_compile_definitions(vandrel_build_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX _CRT_SECURE_NO_WARNINGS)
else()
  # Log contexts name files relative to the repository root, whatever the
  # build path, and release builds of Qt keep file, line and function in
  # them: the messages hosts see depend on both, so they apply in every
  # build. (MSVC has no documented equivalent: there the contexts carry the
  # source folder's path.)
  target_compile_options(vandrel_build_flags INTERFACE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
  # Nor may the build folder show in what is built (moc's output lives
  # there), so that two builds in different folders give the same bytes.
  target_compile_options(vandrel_build_flags INTERFACE "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
  if(WIN32)
    target_compile_definitions(vandrel_build_flags INTERFACE WIN32_LEAN_AND_MEAN NOMINMAX)
  endif()
endif()
target_compile_definitions(vandrel_build_flags INTERFACE QT_MESSAGELOGCONTEXT)

# Warnings and sanitizers are the project's own business: a parent project
# that adds Vandrel as a subdirectory keeps its own.
set(VANDREL_SANITIZE "" CACHE STRING "Sanitizer build: empty, address or thread")
if(CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR)
  if(VANDREL_MSVC)
    target_compile_options(vandrel_build_flags INTERFACE /W4)
  else()
    target_compile_options(vandrel_build_flags INTERFACE -Wall -Wextra)
  endif()
  if(VANDREL_SANITIZE STREQUAL "address")
    target_compile_options(vandrel_build_flags INTERFACE
      -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(vandrel_build_flags INTERFACE -fsanitize=address,undefined)
  elseif(VANDREL_SANITIZE STREQUAL "thread")
    target_compile_options(vandrel_build_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(vandrel_build_flags INTERFACE -fsanitize=thread)
  elseif(NOT VANDREL_SANITIZE STREQUAL "")
    message(FATAL_ERROR "VANDREL_SANITIZE must be empty, address or thread")
  endif()
  if(NOT VANDREL_SANITIZE STREQUAL "" AND (VANDREL_MSVC OR WIN32))
    message(FATAL_ERROR "VANDREL_SANITIZE: the sanitizer builds are Linux builds")
  endif()
endif()

# Debian's hardening (what dpkg-buildflags gives): fortified libc calls, stack
# protector, read-only relocations bound at load time. Fortification needs
# optimization, so optimized builds without a sanitizer get it. ELF builds
# only: MSVC's defaults (/GS, /DYNAMICBASE, /NXCOMPAT) and MinGW's linker
# defaults (dynamic base, NX, high-entropy addresses) cover Windows, where
# MinGW's fortification would need libssp beside every DLL.
option(VANDREL_HARDENING "Debian's hardening flags in optimized builds" ON)
if(VANDREL_HARDENING AND VANDREL_ELF AND VANDREL_SANITIZE STREQUAL "" AND NOT VANDREL_FUZZ)
  target_compile_options(vandrel_build_flags INTERFACE
    -fstack-protector-strong -Wformat -Werror=format-security
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
  target_link_options(vandrel_build_flags INTERFACE "LINKER:-z,relro,-z,now")
endif()

# Hosts know the descriptor classes from their header only; their type
# information lives in the plug-in, out of reach of the sanitizer's vptr
# check. Linked after vandrel_build_flags, so that it comes last.
add_library(vandrel_host_flags INTERFACE)
if(CMAKE_SOURCE_DIR STREQUAL PROJECT_SOURCE_DIR AND VANDREL_SANITIZE STREQUAL "address")
  target_compile_options(vandrel_host_flags INTERFACE -fno-sanitize=vptr)
endif()
