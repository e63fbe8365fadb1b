# The Windows build: the system libraries it links (set beside the executable), its
# version resource and its application manifest.
target_compile_definitions(zp PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)

enable_language(RC)
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zp_version.h CONTENT
"#pragma once
#define ZP_VERSION_MAJOR ${PROJECT_VERSION_MAJOR}
#define ZP_VERSION_MINOR ${PROJECT_VERSION_MINOR}
#define ZP_VERSION_PATCH ${PROJECT_VERSION_PATCH}
#define ZP_VERSION_TEXT \"${PROJECT_VERSION}\"
")
configure_file(platform/win32/ZPConfigUtil.manifest.in
  ${CMAKE_CURRENT_BINARY_DIR}/ZPConfigUtil.manifest @ONLY)
set_source_files_properties(platform/win32/version.rc PROPERTIES
  INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR}
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/ZPConfigUtil.manifest)
# The executable is defined after this file is read; the resource joins it then.
cmake_language(DEFER CALL target_sources ZPConfigUtil PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/version.rc)
