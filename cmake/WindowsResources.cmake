# The Windows program's resources: a manifest (visual styles, asInvoker, the
# Windows versions it is declared for), the icon, and a version resource from
# the one version number.
enable_language(RC)
# The release's name for the build's kind of Windows program.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(VORNEX_WINDOWS_ARCH win32)
else()
  set(VORNEX_WINDOWS_ARCH win64)
endif()
set(VORNEX_MANIFEST ${VORNEX_GENERATED_DIR}/vornex.manifest)
configure_file(${PROJECT_SOURCE_DIR}/dist/windows/vornex.manifest.in ${VORNEX_MANIFEST} @ONLY)
set(VORNEX_RESOURCES ${VORNEX_GENERATED_DIR}/vornex.rc)
configure_file(${PROJECT_SOURCE_DIR}/dist/windows/vornex.rc.in ${VORNEX_RESOURCES} @ONLY)
set_source_files_properties(${VORNEX_RESOURCES} PROPERTIES OBJECT_DEPENDS "${VORNEX_ICON_ICO};${VORNEX_MANIFEST}")

# The manifest alone, for the test programs that show the same windows: they
# are checked in the look the program has (tests/CMakeLists.txt).
set(VORNEX_MANIFEST_RESOURCE ${VORNEX_GENERATED_DIR}/manifest.rc)
file(CONFIGURE OUTPUT ${VORNEX_MANIFEST_RESOURCE} CONTENT
  "#include <windows.h>\nCREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${VORNEX_MANIFEST}\"\n")
