# Version information of the program and its two libraries, all taken from the project's
# version (project(Stakka VERSION ...)), so that the binaries, the manifest and the package
# names can never disagree.
#
#   stakka_version_resource(<target> <file name> <description> [MANIFEST])
#     Adds a VERSIONINFO resource to <target>; MANIFEST also embeds res/stakka.manifest
#     as the program's application manifest (executables only).

set(STAKKA_PRODUCT "Stakka")
set(STAKKA_COMPANY "Kellmarvostian")
set(STAKKA_COPYRIGHT "Copyright (c) 2026 Kellmarvostian")
set(STAKKA_VERSION ${PROJECT_VERSION})
foreach(part MAJOR MINOR PATCH TWEAK)
  set(_v "${PROJECT_VERSION_${part}}")
  if("${_v}" STREQUAL "")
    set(_v 0)
  endif()
  set(STAKKA_VERSION_${part} ${_v})
endforeach()
set(STAKKA_VERSION_QUAD
    "${STAKKA_VERSION_MAJOR}.${STAKKA_VERSION_MINOR}.${STAKKA_VERSION_PATCH}.${STAKKA_VERSION_TWEAK}")
set(STAKKA_VERSION_COMMAS
    "${STAKKA_VERSION_MAJOR},${STAKKA_VERSION_MINOR},${STAKKA_VERSION_PATCH},${STAKKA_VERSION_TWEAK}")

set(STAKKA_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../res/version.rc.in)
set(STAKKA_MANIFEST ${CMAKE_CURRENT_LIST_DIR}/../res/stakka.manifest)
get_filename_component(STAKKA_VERSION_TEMPLATE ${STAKKA_VERSION_TEMPLATE} ABSOLUTE)
get_filename_component(STAKKA_MANIFEST ${STAKKA_MANIFEST} ABSOLUTE)

function(stakka_version_resource target file_name description)
  cmake_parse_arguments(V "MANIFEST" "" "" ${ARGN})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(STAKKA_FILE_TYPE VFT_APP)
  else()
    set(STAKKA_FILE_TYPE VFT_DLL)
  endif()
  set(STAKKA_FILE_NAME ${file_name})
  set(STAKKA_FILE_DESCRIPTION ${description})
  get_filename_component(STAKKA_INTERNAL_NAME ${file_name} NAME_WE)
  if(V_MANIFEST)
    # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
    set(STAKKA_MANIFEST_LINE "1 24 \"${STAKKA_MANIFEST}\"")
  else()
    set(STAKKA_MANIFEST_LINE "")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/version/${target}_version.rc)
  configure_file(${STAKKA_VERSION_TEMPLATE} ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  if(V_MANIFEST)
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${STAKKA_MANIFEST})
  endif()
endfunction()
