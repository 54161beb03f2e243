# Installation layout and the Debian package.
#
# The programs look for readme.txt beside their own executable (Help) and keep
# their Data/ folder there when that folder may be written, else in the
# per-user data folder. So on Linux the executables and readme.txt live
# together in a folder of their own, lib/quoldex/, and bin/ holds relative
# symbolic links to them: the kernel resolves the link, the programs see
# lib/quoldex/ as their folder, and a system-wide install, where that folder
# is read-only for users, keeps each user's data in the per-user folder.
#
# Included at the end of the top-level CMakeLists.txt, once every target
# exists; the desktop entry and icon are installed only when the desktop
# program is built.

include(GNUInstallDirs)

set(QUOLDEX_INSTALL_APPDIR "lib/quoldex" CACHE STRING
    "Folder, relative to the install prefix, that holds the executables and readme.txt")
set(QUOLDEX_PACKAGE_MAINTAINER "Quoldex maintainers <maintainers@quoldex.invalid>" CACHE STRING
    "Maintainer field of the Debian package")

set(quoldex_programs "")
foreach(program quoldex quoldex-cli)
  if(TARGET ${program})
    list(APPEND quoldex_programs ${program})
  endif()
endforeach()

if(UNIX)
  set(quoldex_program_dir "${QUOLDEX_INSTALL_APPDIR}")
else()
  # Elsewhere the executables sit at the top of the install folder.
  set(quoldex_program_dir ".")
endif()

if(quoldex_programs)
  install(TARGETS ${quoldex_programs} RUNTIME DESTINATION "${quoldex_program_dir}")
endif()

# readme.txt is either kept in the source tree or written into the build tree;
# the one that exists at install time is installed (the build tree's copy
# wins), beside the executables and, on Linux, with the documentation.
set(quoldex_readme_dirs "${quoldex_program_dir}")
if(UNIX)
  list(APPEND quoldex_readme_dirs "${CMAKE_INSTALL_DATAROOTDIR}/doc/quoldex")
endif()
install(CODE "
  foreach(readme \"${PROJECT_BINARY_DIR}/readme.txt\" \"${PROJECT_SOURCE_DIR}/readme.txt\")
    if(EXISTS \"\${readme}\")
      foreach(dir ${quoldex_readme_dirs})
        file(INSTALL \"\${readme}\" DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${dir}\")
      endforeach()
      break()
    endif()
  endforeach()
")

if(UNIX)
  # bin/<program> -> ../lib/quoldex/<program>, made at install time under
  # DESTDIR so that staged installs (CPack) get the same relative links.
  file(RELATIVE_PATH quoldex_link_target
       "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${QUOLDEX_INSTALL_APPDIR}")
  foreach(program IN LISTS quoldex_programs)
    install(CODE "
      set(bin_dir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
      file(MAKE_DIRECTORY \"\${bin_dir}\")
      message(STATUS \"Installing: \${bin_dir}/${program} -> ${quoldex_link_target}/${program}\")
      file(REMOVE \"\${bin_dir}/${program}\")
      file(CREATE_LINK \"${quoldex_link_target}/${program}\" \"\${bin_dir}/${program}\" SYMBOLIC)
      list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${bin_dir}/${program}\")
    ")
  endforeach()
endif()

if(TARGET quoldex AND UNIX)
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/quoldex.desktop"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/applications")
  install(FILES "${PROJECT_SOURCE_DIR}/resources/images/quoldex.svg"
          DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/scalable/apps")
endif()

# ---- CPack -------------------------------------------------------------------

set(CPACK_PACKAGE_NAME "quoldex")
set(CPACK_PACKAGE_VENDOR "Quoldex")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "class browser for UnrealScript sources")
set(CPACK_PACKAGE_DESCRIPTION
    "Quoldex catalogues the classes found in UnrealScript (*.uc) files and shows them
as a tree by inheritance and by package beside the user's maps. From the tree it
opens, prints and greps the scripts, compiles a package with the game's
ucc.exe, shows the compiler's log and starts a map. The catalogue is kept in
Quoldex's own embedded table engine in the per-user data folder.")
if(TARGET quoldex)
  string(APPEND CPACK_PACKAGE_DESCRIPTION "
This package holds the desktop program quoldex and quoldex-cli, the same
browser driven from the command line.")
else()
  string(APPEND CPACK_PACKAGE_DESCRIPTION "
This package holds quoldex-cli, the browser driven from the command line.")
endif()
set(CPACK_PACKAGE_CONTACT "${QUOLDEX_PACKAGE_MAINTAINER}")
set(CPACK_STRIP_FILES ON)

if(NOT DEFINED CPACK_GENERATOR)
  if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR "DEB")
  else()
    set(CPACK_GENERATOR "ZIP")
  endif()
endif()

set(CPACK_DEBIAN_PACKAGE_NAME "quoldex")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUOLDEX_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "devel")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Library dependencies are read from the executables by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET quoldex)
  # The window draws its images from SVG through Qt's SVG icon engine, a
  # plug-in that no executable links, so dpkg-shlibdeps cannot see it.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
endif()

include(CPack)
