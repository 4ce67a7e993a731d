# Installation and packages: headers, both libraries with their SONAME
# versions, the find_package(Tavel) files and tavel.pc for pkg-config, split
# into a runtime and a development component; CPack makes one Debian package
# of each (tools/package).

include(CMakePackageConfigHelpers)

install(TARGETS basalt tavel EXPORT TavelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)

set(TAVEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Tavel)
install(EXPORT TavelTargets NAMESPACE Tavel:: DESTINATION ${TAVEL_CMAKE_DIR}
  COMPONENT development)
configure_package_config_file(cmake/TavelConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/TavelConfig.cmake
  INSTALL_DESTINATION ${TAVEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/TavelConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/TavelConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/TavelConfigVersion.cmake
  DESTINATION ${TAVEL_CMAKE_DIR} COMPONENT development)

# tavel.pc finds the headers and libraries relative to its own directory.
set(TAVEL_PC_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH TAVEL_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${TAVEL_PC_DIR}
  ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" TAVEL_PC_TO_PREFIX "${TAVEL_PC_TO_PREFIX}")
file(RELATIVE_PATH TAVEL_PC_INCLUDEDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_INCLUDEDIR})
file(RELATIVE_PATH TAVEL_PC_LIBDIR ${CMAKE_INSTALL_PREFIX} ${CMAKE_INSTALL_FULL_LIBDIR})
configure_file(cmake/tavel.pc.in ${CMAKE_CURRENT_BINARY_DIR}/tavel.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/tavel.pc DESTINATION ${TAVEL_PC_DIR}
  COMPONENT development)

# Debian packages: libtavel<soversion> holds the shared libraries, with its
# dependencies read from them by dpkg-shlibdeps; libtavel-dev holds the rest
# and depends on the development packages its headers and CMake files use.
if(TAVEL_QT_MAJOR EQUAL 5)
  set(TAVEL_QT_DEV_PACKAGE qtbase5-dev)
else()
  set(TAVEL_QT_DEV_PACKAGE qt${TAVEL_QT_MAJOR}-base-dev)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavel)
set(CPACK_PACKAGE_VENDOR Tavel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Tavel developers <tavel@tavel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "typed, observable object model for host applications")
set(CPACK_PACKAGE_DESCRIPTION "Nodes with typed attributes, change notification, graph \
operations (copy, compare, assign, synchronise) and text conversions, on Qt Core and Boost.")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libtavel${TAVEL_SOVERSION})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libtavel-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "${TAVEL_QT_DEV_PACKAGE}, libboost-dev (>= 1.74), libboost-thread-dev (>= 1.74)")
include(CPack)
