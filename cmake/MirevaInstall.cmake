# Installation: `cmake --install build --prefix <prefix>`.
#
# The program finds its companions and the libraries it loads by name in its
# own folder, so every program and shared library goes to <prefix>/lib/mireva
# together; bin/ only holds links into it. The seed data goes to
# <prefix>/share/mireva/data, where the program looks when no data/ folder sits
# beside it (two levels up from lib/mireva, which is why that folder is fixed
# rather than following CMAKE_INSTALL_LIBDIR).
include(GNUInstallDirs)

set(MIREVA_INSTALL_PROGRAM_DIR lib/mireva)
set(MIREVA_INSTALL_DATA_DIR share/mireva/data)

set(_mireva_installed_targets mireva tollick quandex_program hovrel-fetch mireva-history gifconvert
  mireva-shortcut download_engine png_compositor type_dialog hovrel quandex)
# All of them sit in one folder, so each finds the libraries beside it.
set_target_properties(${_mireva_installed_targets} PROPERTIES INSTALL_RPATH "$ORIGIN")
install(TARGETS ${_mireva_installed_targets}
  RUNTIME DESTINATION ${MIREVA_INSTALL_PROGRAM_DIR}
  LIBRARY DESTINATION ${MIREVA_INSTALL_PROGRAM_DIR})

# Launchers: relative links, so the tree can be moved or staged with DESTDIR.
# /proc/self/exe resolves the link, so the program still sees lib/mireva as its folder.
foreach(program mireva tollick quandex hovrel-fetch mireva-history)
  install(CODE "
    set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")
    file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    file(REMOVE \"\${link}\")
    message(STATUS \"Installing: \${link}\")
    file(RELATIVE_PATH target \"/${CMAKE_INSTALL_BINDIR}\" \"/${MIREVA_INSTALL_PROGRAM_DIR}/${program}\")
    file(CREATE_LINK \"\${target}\" \"\${link}\" SYMBOLIC)")
endforeach()

# The same files the build copies into build/bin/data, taken from their sources.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/resources/data/ DESTINATION ${MIREVA_INSTALL_DATA_DIR})
file(GLOB _mireva_seed_data
  ${PROJECT_SOURCE_DIR}/patrol/data/*.lst
  ${PROJECT_SOURCE_DIR}/collectors/data/*.html)
install(FILES ${_mireva_seed_data}
  ${PROJECT_SOURCE_DIR}/companions/download_engine/data/DownLoadRules.ini
  DESTINATION ${MIREVA_INSTALL_DATA_DIR})

# Desktop integration: the desktop entry, the AppStream metainfo and the icons.
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/mireva.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/jp.mireva.Mireva.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
set(_mireva_icon_svg ${PROJECT_SOURCE_DIR}/resources/icons/mireva.svg)
install(FILES ${_mireva_icon_svg}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The bitmap icons are rendered from the SVG at build time, with rsvg-convert
# where present and ImageMagick otherwise; without either only the SVG ships.
find_program(MIREVA_RSVG_CONVERT rsvg-convert)
find_program(MIREVA_IMAGEMAGICK_CONVERT convert)
set(_mireva_icon_pngs "")
foreach(size 16 32 48 64 128 256)
  set(png ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps/mireva.png)
  if(MIREVA_RSVG_CONVERT)
    set(render ${MIREVA_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${_mireva_icon_svg})
  elseif(MIREVA_IMAGEMAGICK_CONVERT)
    set(render ${MIREVA_IMAGEMAGICK_CONVERT} -background none -density 384 ${_mireva_icon_svg}
      -resize ${size}x${size} ${png})
  else()
    break()
  endif()
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/hicolor/${size}x${size}/apps
    COMMAND ${render}
    DEPENDS ${_mireva_icon_svg}
    COMMENT "Rendering the ${size}x${size} program icon"
    VERBATIM)
  list(APPEND _mireva_icon_pngs ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
if(_mireva_icon_pngs)
  add_custom_target(mireva_icons ALL DEPENDS ${_mireva_icon_pngs})
else()
  message(WARNING "Neither rsvg-convert nor ImageMagick's convert found: "
    "only the scalable icon is installed")
endif()

# Manual pages of the programs started from bin/, compressed as man expects
# them on Debian (-n keeps the time stamp out, so the files are reproducible).
set(_mireva_man_gz "")
foreach(page mireva tollick quandex hovrel-fetch mireva-history)
  set(gz ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/docs/man/${page}.1 > ${gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/docs/man/${page}.1
    COMMENT "Compressing the manual page ${page}.1")
  list(APPEND _mireva_man_gz ${gz})
endforeach()
add_custom_target(mireva_man_pages ALL DEPENDS ${_mireva_man_gz})
install(FILES ${_mireva_man_gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
