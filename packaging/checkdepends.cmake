# SPDX-License-Identifier: MIT
# Run by CPack after it writes the package: a package whose Depends lacks the libraries the program
# links (dpkg-shlibdeps missing or failing) would install and then fail to start, so it is removed.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  if(NOT deb MATCHES "\\.deb$")
    continue()
  endif()
  execute_process(COMMAND dpkg-deb --field ${deb} Depends
                  OUTPUT_VARIABLE depends RESULT_VARIABLE status OUTPUT_STRIP_TRAILING_WHITESPACE)
  foreach(library libqt6widgets6 libqt6gui6 libqt6core6 libstdc\\+\\+6 libc6)
    if(NOT status EQUAL 0 OR NOT depends MATCHES "(^|, )${library} \\(")
      file(REMOVE ${deb})
      message(FATAL_ERROR
        "The package's Depends lacks ${library} (Depends: ${depends}), so it was not kept: "
        "dpkg-shlibdeps did not run. Install dpkg-dev and file (scripts/deps.sh package) and "
        "package again.")
    endif()
  endforeach()
endforeach()
