# cmake --install: the headers (Parcelon.h and ParcelonC.h), the library (the DLL and its import library
# on Windows), a CMake package (find_package(Parcelon CONFIG) gives
# Parcelon::Parcelon) and a pkg-config file.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS Parcelon EXPORT ParcelonTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES include/Parcelon.h include/ParcelonC.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(PARCELON_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Parcelon)
install(EXPORT ParcelonTargets NAMESPACE Parcelon:: DESTINATION ${PARCELON_CMAKE_DIR})
configure_package_config_file(cmake/ParcelonConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ParcelonConfig.cmake
  INSTALL_DESTINATION ${PARCELON_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ParcelonConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ParcelonConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ParcelonConfigVersion.cmake
        DESTINATION ${PARCELON_CMAKE_DIR})

# Relative to the .pc file itself, so the package works wherever it is installed.
file(RELATIVE_PATH PARCELON_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
configure_file(cmake/parcelon.pc.in ${CMAKE_CURRENT_BINARY_DIR}/parcelon.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/parcelon.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
