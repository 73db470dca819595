# The product's one version number, project(VERSION), in the forms its
# readers want: --version and the package take it as it stands; the window's
# title shows the minor number in two digits ("2.00" for 2.0, as the product
# always has); the Windows resources want four numbers.
foreach(part MAJOR MINOR PATCH TWEAK)
  set(VORNEX_VERSION_${part} "${PROJECT_VERSION_${part}}")
  if(VORNEX_VERSION_${part} STREQUAL "")
    set(VORNEX_VERSION_${part} 0)
  endif()
endforeach()
if(VORNEX_VERSION_MINOR LESS 10)
  set(VORNEX_TITLE_VERSION "${VORNEX_VERSION_MAJOR}.0${VORNEX_VERSION_MINOR}")
else()
  set(VORNEX_TITLE_VERSION "${VORNEX_VERSION_MAJOR}.${VORNEX_VERSION_MINOR}")
endif()
set(VORNEX_VERSION_QUAD
    "${VORNEX_VERSION_MAJOR}.${VORNEX_VERSION_MINOR}.${VORNEX_VERSION_PATCH}.${VORNEX_VERSION_TWEAK}")

set(VORNEX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${PROJECT_SOURCE_DIR}/app/Version.h.in ${VORNEX_GENERATED_DIR}/app/Version.h @ONLY)
add_library(vornex_version INTERFACE)
target_include_directories(vornex_version INTERFACE ${VORNEX_GENERATED_DIR})
