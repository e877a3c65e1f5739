# SPDX-License-Identifier: MIT
# cmake -P uninstall.cmake BUILD/install_manifest.txt: removes every file a `cmake --install`
# listed there, and nothing else.
if(NOT CMAKE_ARGC EQUAL 4)
  message(FATAL_ERROR "usage: cmake -P uninstall.cmake BUILD/install_manifest.txt")
endif()
set(manifest ${CMAKE_ARGV3})
if(NOT EXISTS ${manifest})
  message(FATAL_ERROR "${manifest} not found: nothing was installed from this build directory")
endif()
file(STRINGS ${manifest} files)
foreach(file IN LISTS files)
  if(IS_SYMLINK "$ENV{DESTDIR}${file}" OR EXISTS "$ENV{DESTDIR}${file}")
    message(STATUS "Removing $ENV{DESTDIR}${file}")
    file(REMOVE "$ENV{DESTDIR}${file}")
  endif()
endforeach()
