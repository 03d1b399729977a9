# Installation: the libraries, their headers, the jar, the qeinteg command, the CMake package and the
# pkg-config file, all relocatable; and the Debian package (cpack -G DEB).
#
# A consumer gets from the exported targets only what it needs to compile and link against our
# headers. A dependency used inside the libraries is linked PRIVATE, e.g.
#     target_link_libraries(qelocal PRIVATE PROJ::proj)
# and its header pattern goes into QEINTEG_PRIVATE_INCLUDE_PATTERNS below; nothing else changes.
# The check at the end of this file stops the configuration when an exported target carries a
# dependency that qeintegConfig.cmake does not find.

set(QEINTEG_EXPORTED_TARGETS qeinteg qehost qehost_viewer qehost_testing qelocal qejvm qescoring)
# The only outside targets allowed in the exported link interfaces: cmake/qeintegConfig.cmake.in
# finds each of them (jni.h is in our public headers, and so are std::thread and std::mutex).
set(QEINTEG_INTERFACE_DEPENDENCIES JNI::JNI Threads::Threads)
# Headers of the private dependencies. Our headers that include one (directly or through another of
# our headers) are internal and not installed.
set(QEINTEG_PRIVATE_INCLUDE_PATTERNS
    "nlohmann/"
    "pugixml"
    "minizip/"
    "zlib.h"
    "csv.h"
    "proj.h"
    "gdal"
    "ogr_"
    "cpl_"
    "Eigen/")

# --- Run-time search paths of the installed files ----------------------------------------------
# The libraries find each other beside themselves and the command finds them from bin/, so the
# installed tree works from any prefix and never looks into the build tree.
file(RELATIVE_PATH _qeinteg_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set_property(TARGET qeinteg_cli APPEND PROPERTY INSTALL_RPATH "$ORIGIN/${_qeinteg_bin_to_lib}")
# Our headers are C++20: a consumer compiles them with at least that.
foreach(target IN LISTS QEINTEG_EXPORTED_TARGETS)
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "INTERFACE_LIBRARY")
    target_compile_features(${target} INTERFACE cxx_std_20)
  else()
    set_property(TARGET ${target} APPEND PROPERTY INSTALL_RPATH "$ORIGIN")
    target_compile_features(${target} PUBLIC cxx_std_20)
  endif()
endforeach()

# --- Libraries and jar (the command installs itself) --------------------------------------------------------------------
install(TARGETS ${QEINTEG_EXPORTED_TARGETS} EXPORT qeintegTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install_jar(qeinteg_java DESTINATION ${QEINTEG_JAR_DESTINATION})
# The engine's GDAL part, loaded on demand from beside libqelocal (not linked against directly).
install(TARGETS qelocal_gdal LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

# --- Headers ---------------------------------------------------------------------------------------
# A header is internal when it includes a private dependency's header or another internal header.
string(REPLACE "." "\\." _qeinteg_private_includes "${QEINTEG_PRIVATE_INCLUDE_PATTERNS}")
list(JOIN _qeinteg_private_includes "|" _qeinteg_private_includes)
set(_qeinteg_include_regex "^[ \t]*#[ \t]*include[ \t]*[<\"]")
file(GLOB_RECURSE _qeinteg_headers CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}/backend
     ${PROJECT_SOURCE_DIR}/backend/qeinteg/*.h)
set(_qeinteg_internal_headers "")
foreach(header IN LISTS _qeinteg_headers)
  file(STRINGS ${PROJECT_SOURCE_DIR}/backend/${header} _lines
       REGEX "${_qeinteg_include_regex}(${_qeinteg_private_includes}|qeinteg/)")
  set(_own_includes_${header} "")
  foreach(line IN LISTS _lines)
    if(line MATCHES "${_qeinteg_include_regex}(${_qeinteg_private_includes})")
      list(APPEND _qeinteg_internal_headers ${header})
    elseif(line MATCHES "${_qeinteg_include_regex}(qeinteg/[^\">]+)")
      list(APPEND _own_includes_${header} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endforeach()
# The Java binding layer is internal, but for the reference owners that java/JNIRefs.h offers and
# the packed JSON values the JSON wrappers hand out (readTree).
foreach(header IN LISTS _qeinteg_headers)
  if(header MATCHES "^qeinteg/java/jni/" AND NOT header STREQUAL "qeinteg/java/jni/Refs.h"
     AND NOT header STREQUAL "qeinteg/java/jni/PackedJson.h")
    list(APPEND _qeinteg_internal_headers ${header})
  endif()
endforeach()
set(_changed TRUE)
while(_changed)
  set(_changed FALSE)
  foreach(header IN LISTS _qeinteg_headers)
    if(NOT header IN_LIST _qeinteg_internal_headers)
      foreach(included IN LISTS _own_includes_${header})
        if(included IN_LIST _qeinteg_internal_headers)
          list(APPEND _qeinteg_internal_headers ${header})
          set(_changed TRUE)
          break()
        endif()
      endforeach()
    endif()
  endforeach()
endwhile()
foreach(header IN LISTS _qeinteg_headers)
  if(NOT header IN_LIST _qeinteg_internal_headers)
    get_filename_component(_dir ${header} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/backend/${header}
            DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${_dir})
  endif()
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/generated/qeinteg/qeinteg_export.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/qeinteg)

# --- CMake package ------------------------------------------------------------------------------
set(_qeinteg_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/qeinteg)
install(EXPORT qeintegTargets NAMESPACE qeinteg:: DESTINATION ${_qeinteg_cmake_dir})
configure_package_config_file(cmake/qeintegConfig.cmake.in
        ${PROJECT_BINARY_DIR}/qeintegConfig.cmake
        INSTALL_DESTINATION ${_qeinteg_cmake_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qeintegConfigVersion.cmake
        COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qeintegConfig.cmake
              ${PROJECT_BINARY_DIR}/qeintegConfigVersion.cmake
        DESTINATION ${_qeinteg_cmake_dir})

# --- pkg-config file: the prefix is found from the file's own place -----------------------------
file(RELATIVE_PATH QEINTEG_PC_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig
     ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QEINTEG_PC_PREFIX_FROM_PCDIR "${QEINTEG_PC_PREFIX_FROM_PCDIR}")
set(_qeinteg_jni_include_dirs ${JAVA_INCLUDE_PATH} ${JAVA_INCLUDE_PATH2})
list(REMOVE_DUPLICATES _qeinteg_jni_include_dirs)
list(TRANSFORM _qeinteg_jni_include_dirs PREPEND "-I")
list(JOIN _qeinteg_jni_include_dirs " " QEINTEG_PC_JNI_CFLAGS)
configure_file(cmake/qeinteg.pc.in ${PROJECT_BINARY_DIR}/qeinteg.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qeinteg.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# --- Debian package -----------------------------------------------------------------------------
# The Debian packages of everything the installed files load at run time.
set(QEINTEG_DEB_DEPENDS
    "default-jre-headless (>= 2:1.17)"
    "libjackson2-core-java"
    "zlib1g"
    "libminizip1"
    "libpugixml1v5"
    "libcsv3")
# The geo and numeric libraries the local engine links (Eigen is header-only and adds nothing).
set(QEINTEG_DEB_GEO_DEPENDS
    "libproj25"
    "libgdal32")
list(APPEND QEINTEG_DEB_DEPENDS ${QEINTEG_DEB_GEO_DEPENDS} "libstdc++6" "libc6")
list(JOIN QEINTEG_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
# jni.h, which our headers include, comes with the JDK.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "default-jdk-headless (>= 2:1.17), pkg-config")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qeinteg)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "qeinteg developers" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
include(CPack)

# --- What the exported targets carry --------------------------------------------------------------
foreach(target IN LISTS QEINTEG_EXPORTED_TARGETS)
  get_target_property(_items ${target} INTERFACE_LINK_LIBRARIES)
  if(NOT _items)
    continue()
  endif()
  foreach(item IN LISTS _items)
    if(item IN_LIST QEINTEG_EXPORTED_TARGETS OR item IN_LIST QEINTEG_INTERFACE_DEPENDENCIES)
      continue()
    endif()
    message(FATAL_ERROR
        "The exported target ${target} carries ${item} in its link interface, which installed "
        "consumers cannot resolve. Link it PRIVATE, or find it in cmake/qeintegConfig.cmake.in and "
        "add it to QEINTEG_INTERFACE_DEPENDENCIES (cmake/qeintegInstall.cmake).")
  endforeach()
endforeach()
