# The icon is drawn once, as SVG (dist/icons/vornex.svg). The PNG sizes a
# Linux desktop wants and the Windows icon file are made from it when the
# program is built, so the repository holds no picture but the drawing.
set(VORNEX_ICON_SVG ${PROJECT_SOURCE_DIR}/dist/icons/vornex.svg)
find_program(VORNEX_RSVG_CONVERT rsvg-convert)
if(NOT VORNEX_RSVG_CONVERT)
  message(FATAL_ERROR "rsvg-convert is missing; scripts/deps.sh installs it (librsvg2-bin)")
endif()

if(WIN32)
  # What Windows picks from for the window, the taskbar and Explorer.
  set(VORNEX_ICON_SIZES 16 24 32 48 256)
else()
  set(VORNEX_ICON_SIZES 16 22 24 32 48 64 128 256)
endif()
set(VORNEX_ICON_DIR ${VORNEX_GENERATED_DIR}/icons/hicolor)
set(VORNEX_ICON_PNGS)
foreach(size IN LISTS VORNEX_ICON_SIZES)
  set(dir ${VORNEX_ICON_DIR}/${size}x${size}/apps)
  add_custom_command(OUTPUT ${dir}/vornex.png
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${VORNEX_RSVG_CONVERT} --width ${size} --height ${size} --output ${dir}/vornex.png ${VORNEX_ICON_SVG}
    DEPENDS ${VORNEX_ICON_SVG}
    COMMENT "Drawing the ${size} pixel icon" VERBATIM)
  list(APPEND VORNEX_ICON_PNGS ${dir}/vornex.png)
endforeach()

if(WIN32)
  find_program(VORNEX_CONVERT convert)
  if(NOT VORNEX_CONVERT)
    message(FATAL_ERROR "ImageMagick's convert is missing; scripts/deps.sh installs it")
  endif()
  set(VORNEX_ICON_ICO ${VORNEX_GENERATED_DIR}/vornex.ico)
  add_custom_command(OUTPUT ${VORNEX_ICON_ICO}
    COMMAND ${VORNEX_CONVERT} ${VORNEX_ICON_PNGS} ${VORNEX_ICON_ICO}
    DEPENDS ${VORNEX_ICON_PNGS}
    COMMENT "Making the Windows icon" VERBATIM)
endif()
add_custom_target(vornex_icons ALL DEPENDS ${VORNEX_ICON_PNGS} ${VORNEX_ICON_ICO})
