# Installs the HTTP layer as the CMake package ProofshotNet: the libraries proofshot::net,
# proofshot::url and proofshot::core with their public headers under include/proofshot, so
# that `find_package(ProofshotNet)` works from the install prefix. Component "net":
#   cmake --install <build> --component net --prefix <prefix>
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(_net_layers proofshot_net proofshot_url proofshot_core)
foreach(target IN ITEMS net url core)
  set_target_properties(proofshot_${target} PROPERTIES EXPORT_NAME ${target})
  target_include_directories(proofshot_${target} PUBLIC
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/proofshot>)
endforeach()

install(TARGETS ${_net_layers} EXPORT ProofshotNetTargets COMPONENT net
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# Public headers only: *Private.h stay in the tree.
foreach(dir IN ITEMS net platform/url platform/core)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
          DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/proofshot/${dir} COMPONENT net
          FILES_MATCHING PATTERN "*.h" PATTERN "*Private.h" EXCLUDE)
endforeach()

set(_net_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/ProofshotNet)
install(EXPORT ProofshotNetTargets NAMESPACE proofshot:: DESTINATION ${_net_cmake_dir}
        COMPONENT net)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ProofshotNetConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/ProofshotNetConfig.cmake INSTALL_DESTINATION ${_net_cmake_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/ProofshotNetConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ProofshotNetConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/ProofshotNetConfigVersion.cmake
        DESTINATION ${_net_cmake_dir} COMPONENT net)
