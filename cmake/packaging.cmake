# Installation layout and the Debian package.
#
#   cmake --install build [--prefix DIR]    tivarne and tivarne-plot in bin/,
#                                           the Python package's modules (for
#                                           tivarne-plot) and the example in
#                                           share/tivarne/, man pages in
#                                           share/man/man1/, the licence in
#                                           share/doc/tivarne/; the library
#                                           (lib/, include/tivarne/, its CMake
#                                           package and pkg-config file)
#   (cd build && cpack -G DEB)              tivarne_<version>_<arch>.deb

include(CMakePackageConfigHelpers)

install(TARGETS tivarne RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The library: headers, static and shared libtivarne, the CMake package
# (find_package(tivarne) -> tivarne::tivarne) and a pkg-config file.
install(TARGETS tivarne_static tivarne_shared EXPORT tivarneTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY include/tivarne DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
set(tivarne_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/tivarne)
install(EXPORT tivarneTargets NAMESPACE tivarne:: DESTINATION ${tivarne_cmake_dir})
configure_package_config_file(cmake/tivarneConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/tivarneConfig.cmake INSTALL_DESTINATION ${tivarne_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/tivarneConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tivarneConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/tivarneConfigVersion.cmake
        DESTINATION ${tivarne_cmake_dir})
# Relative to the file's own place, so that --prefix at install time holds.
file(RELATIVE_PATH tivarne_pc_to_prefix "/p/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/p")
configure_file(cmake/tivarne.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tivarne.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tivarne.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
# tivarne-plot runs the module tivarne.plot of the Python package, whose pure
# Python modules it finds in ../share/tivarne/python, relative to itself.
install(PROGRAMS tools/tivarne-plot DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY python/tivarne DESTINATION ${CMAKE_INSTALL_DATADIR}/tivarne/python
        FILES_MATCHING PATTERN "*.py")
# The version file two folders above the package, as in the source tree, where
# the package's __init__ reads it.
install(FILES VERSION DESTINATION ${CMAKE_INSTALL_DATADIR}/tivarne)
install(FILES examples/golub/expr.txt examples/golub/labels.txt examples/golub/about.txt
        DESTINATION ${CMAKE_INSTALL_DATADIR}/tivarne/examples/golub)
# The code's licence where Debian keeps it; the example data's own licence is
# stated in their about.txt.
install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# Man pages, compressed as Debian keeps them.
find_program(TIVARNE_GZIP gzip)
foreach(page tivarne.1 tivarne-plot.1)
  if(TIVARNE_GZIP)
    add_custom_command(
      OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/doc/${page}
              ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
      COMMAND ${TIVARNE_GZIP} -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/man/${page}
      DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/doc/${page}
      VERBATIM)
    list(APPEND tivarne_man_pages ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.gz)
  else()
    list(APPEND tivarne_man_pages ${CMAKE_CURRENT_SOURCE_DIR}/doc/${page})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${tivarne_man_pages})
install(FILES ${tivarne_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME tivarne)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "tivarne maintainers <maintainers@tivarne.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "gene pairs whose co-expression differs between two classes of samples")
# The summary above is the first line of the package description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "tivarne reads an expression file (one line per gene) and a label file (two
classes of samples), computes for every gene pair the biweight
midcorrelation within each class, ranks the pairs by the weighted difference
of the two correlations and writes those with a significant likelihood-ratio
p-value to a tab-separated result file. tivarne-plot draws the best pairs.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The shared libraries of the binary (libc6, libstdc++6, libgomp1, ...) with
# their versions, found by dpkg-shlibdeps; the plot command needs python3 with
# matplotlib, NumPy and pandas (the readers of the Python package).
find_program(TIVARNE_DPKG_SHLIBDEPS dpkg-shlibdeps)
set(tivarne_python_depends "python3, python3-matplotlib, python3-numpy, python3-pandas")
if(TIVARNE_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "${tivarne_python_depends}")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libstdc++6, libgcc-s1, libgomp1, ${tivarne_python_depends}")
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
include(CPack)
