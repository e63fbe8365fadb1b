# The Windows build: the system libraries it links (set beside the executable), its
# version resource and its application manifest.
target_compile_definitions(zp PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN)

# Two Windows builds: ZPConfigUtil.exe for 64-bit Windows, and ZPConfigUtil-x86.exe, the
# 32-bit one, for 32-bit Windows only (on 64-bit Windows it refuses to run: WOW64 can
# neither restart devices nor read their resources).
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(ZP_EXE_NAME ZPConfigUtil-x86)
  set(ZP_EXE_DESCRIPTION " (32-bit Windows)")
  # MinGW ships no msports.dll import library for x86: one is made from the exports'
  # stdcall names, imported undecorated as the system exports them.
  set(ZP_MSPORTS ${CMAKE_CURRENT_BINARY_DIR}/libmsports.a)
  set(ZP_MSPORTS_DEF ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/msports-x86.def)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZP_MSPORTS_DEF})
  execute_process(COMMAND ${CMAKE_DLLTOOL} -k -d ${ZP_MSPORTS_DEF} -l ${ZP_MSPORTS}
                  RESULT_VARIABLE ZP_DLLTOOL_STATUS)
  if(NOT ZP_DLLTOOL_STATUS EQUAL 0)
    message(FATAL_ERROR "${CMAKE_DLLTOOL} could not make ${ZP_MSPORTS}")
  endif()
else()
  set(ZP_EXE_NAME ZPConfigUtil)
  set(ZP_EXE_DESCRIPTION "")
  set(ZP_MSPORTS msports)
endif()

enable_language(RC)
# The version resource and the manifest's assembly identity take major, minor and patch,
# a missing one 0: an assembly version of other than four parts (a project version of four
# parts, then ".0") makes Windows refuse to start the exe.
foreach(part MAJOR MINOR PATCH)
  math(EXPR ZP_VERSION_${part} "0${PROJECT_VERSION_${part}}")
endforeach()
set(ZP_ASSEMBLY_VERSION ${ZP_VERSION_MAJOR}.${ZP_VERSION_MINOR}.${ZP_VERSION_PATCH}.0)
# Windows refuses to start an exe whose manifest's version has other than four parts.
if(NOT ZP_ASSEMBLY_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "assembly version ${ZP_ASSEMBLY_VERSION} is not of four parts")
endif()
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/zp_version.h CONTENT
"#pragma once
#define ZP_VERSION_MAJOR ${ZP_VERSION_MAJOR}
#define ZP_VERSION_MINOR ${ZP_VERSION_MINOR}
#define ZP_VERSION_PATCH ${ZP_VERSION_PATCH}
#define ZP_VERSION_TEXT \"${PROJECT_VERSION}\"
#define ZP_EXE_FILE_NAME \"${ZP_EXE_NAME}.exe\"
#define ZP_EXE_DESCRIPTION \"${ZP_EXE_DESCRIPTION}\"
")
configure_file(platform/win32/ZPConfigUtil.manifest.in
  ${CMAKE_CURRENT_BINARY_DIR}/ZPConfigUtil.manifest @ONLY)
set_source_files_properties(platform/win32/version.rc PROPERTIES
  INCLUDE_DIRECTORIES ${CMAKE_CURRENT_BINARY_DIR}
  OBJECT_DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/ZPConfigUtil.manifest)
# The executable is defined after this file is read; the resource joins it then.
cmake_language(DEFER CALL target_sources ZPConfigUtil PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32/version.rc)
