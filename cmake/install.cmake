# What `cmake --install` puts in place: both libraries (and the client
# library's stand-in, as libversit_calapi), the public headers, the tool,
# its manual page and bash completion, a CMake package (find_package(versit)
# -> versit::versit, versit::versit_static, versit::versit_interop,
# versit::versit_interop_static, versit::versit_calapi,
# versit::versit_calapi_static) and pkg-config files.
include(CMakePackageConfigHelpers)

install(TARGETS versit versit_static versit_interop versit_interop_static calapi32 calapi32_static
  EXPORT versitTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS versit_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The stand-in's header goes into a folder of ours: the real client library
# installs a calapi32.h of its own, and a system may hold both. Its own
# include of versit_abx.h still resolves, through the include directory
# every consumer already has.
file(GLOB versit_public_headers ${PROJECT_SOURCE_DIR}/include/*.h)
list(REMOVE_ITEM versit_public_headers ${PROJECT_SOURCE_DIR}/include/calapi32.h)
install(FILES ${versit_public_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/calapi32.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/versit)

# The package finds itself from where its files lie (the exported targets
# and PACKAGE_PREFIX_DIR are computed from the config file's location), so
# an installed tree may be moved.
set(versit_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/versit)
install(EXPORT versitTargets NAMESPACE versit:: DESTINATION ${versit_cmake_dir})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/versitConfig.cmake.in
  ${CMAKE_BINARY_DIR}/versitConfig.cmake INSTALL_DESTINATION ${versit_cmake_dir})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/versitConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/versitConfig.cmake ${CMAKE_BINARY_DIR}/versitConfigVersion.cmake
  DESTINATION ${versit_cmake_dir})

# pkg-config files name the prefix they are installed under, which is known
# only at install time (cmake --install --prefix): they are written in two
# steps, everything but the prefix now, the prefix by the install script.
foreach(dir LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${dir}}")
    set(VERSIT_PC_${dir} "${CMAKE_INSTALL_${dir}}")
  else()
    set(VERSIT_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(VERSIT_PC_PREFIX "@VERSIT_INSTALL_PREFIX@")
foreach(pc versit versit_interop versit_calapi)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/${pc}.pc.in ${CMAKE_BINARY_DIR}/pc/${pc}.pc.in @ONLY)
  install(CODE "
    set(VERSIT_INSTALL_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
    configure_file(\"${CMAKE_BINARY_DIR}/pc/${pc}.pc.in\" \"${CMAKE_BINARY_DIR}/pc/${pc}.pc\" @ONLY)")
  install(FILES ${CMAKE_BINARY_DIR}/pc/${pc}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/share/man/man1/versit.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/share/bash-completion/completions/versit
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
