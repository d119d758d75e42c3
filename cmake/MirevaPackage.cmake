# The Debian package: `cpack -G DEB` in the build folder makes
# mireva_<version>_amd64.deb, which installs under /usr.
#
# Besides the files of MirevaInstall.cmake the package carries the systemd user
# service and timer of the daily patrol and the copyright and changelog files
# every Debian package has.

# The patrol service starts the program by its full path, so the unit is written
# at install time, when the prefix it lands in is known (`cmake --install
# --prefix` and cpack pick it then, not at configure time).
set(_mireva_service_in ${PROJECT_SOURCE_DIR}/resources/systemd/mireva-patrol.service.in)
install(CODE "
  set(MIREVA_SYSTEMD_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  configure_file(\"${_mireva_service_in}\"
    \"${CMAKE_BINARY_DIR}/systemd/mireva-patrol.service\" @ONLY)
  file(INSTALL \"${CMAKE_BINARY_DIR}/systemd/mireva-patrol.service\"
    DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/user\")")
install(FILES ${PROJECT_SOURCE_DIR}/resources/systemd/mireva-patrol.timer
  DESTINATION lib/systemd/user)

# The package's own documentation in share/doc/mireva (the package's name, not
# the project's): copyright, and the changelog compressed as Debian wants it
# (-n keeps the time stamp out, so the file is reproducible).
configure_file(${PROJECT_SOURCE_DIR}/resources/debian/changelog.in
  ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
set(_mireva_changelog_gz ${CMAKE_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${_mireva_changelog_gz}
  COMMAND gzip -9nc ${CMAKE_BINARY_DIR}/debian/changelog > ${_mireva_changelog_gz}
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog
  COMMENT "Compressing the package changelog")
add_custom_target(mireva_changelog ALL DEPENDS ${_mireva_changelog_gz})
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/copyright ${_mireva_changelog_gz}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/mireva)
# The maintainer address is a placeholder until the project has a public one;
# lintian's complaint about it is known and accepted.
install(FILES ${PROJECT_SOURCE_DIR}/resources/debian/mireva.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME mireva)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mireva)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Mireva developers")
set(CPACK_PACKAGE_CONTACT "Mireva developers <mireva@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web browser that collects pages, images and files")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The install scripts above see /usr as their prefix while cpack stages the
# files through DESTDIR (file(INSTALL) adds it), so the service names
# /usr/bin/mireva.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME mireva)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Mireva developers <mireva@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs load their own libraries from lib/mireva; dpkg-shlibdeps must
# find them there rather than ask which package ships them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
# Run-time needs the libraries do not show: the headless patrol's X server,
# and the opener of downloaded files and mail links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xvfb, xauth, xdg-utils")
# The extended description: cpack indents it and turns the empty line into
# the paragraph mark; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Mireva is a desktop web browser for collecting material from the web: it
patrols a list of pages, saves pages with their images, fetches files through
its download engine and keeps favorites and bookmarks. A systemd user timer
runs the patrol every day without a desktop.

Mireva はウェブから資料を集めるためのブラウザーです。巡回リストのページを
見て回り、ページを画像ごと保存し、ダウンロードエンジンでファイルを取得し、
お気に入りとブックマークを管理します。systemd のユーザータイマーで毎日の
巡回をデスクトップなしで実行できます。")
include(CPack)
