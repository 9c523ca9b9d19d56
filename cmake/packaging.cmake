# Installing and the Debian package (`make package`).
#
# The executables live in lib/rq55/ beside the files they read from their own directory (the
# panels, the language file, the icons); bin/ holds relative links to them, so an installed or
# unpacked copy finds its files through the link wherever it lies.
set(RQ55_PROGRAM_DIR lib/rq55)
set(RQ55_EXECUTABLES rq55 rq55-sim rq55ctl)
# rq55ctl's report and serve commands, and its commands over Modbus/TCP Security, which it runs
# from its own directory: no link in bin/.
set(RQ55_HELPERS rq55ctl-report rq55ctl-serve rq55ctl-tls)

install(TARGETS ${RQ55_EXECUTABLES} ${RQ55_HELPERS} RUNTIME DESTINATION ${RQ55_PROGRAM_DIR})
install(FILES ${RQ55_RESOURCE_FILES} DESTINATION ${RQ55_PROGRAM_DIR})

set(RQ55_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${RQ55_LINK_DIR})
foreach(executable ${RQ55_EXECUTABLES})
  file(CREATE_LINK ../${RQ55_PROGRAM_DIR}/${executable} ${RQ55_LINK_DIR}/${executable} SYMBOLIC)
  install(FILES ${RQ55_LINK_DIR}/${executable} DESTINATION bin)
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/resources/rq55.desktop DESTINATION share/applications)
# rq55ctl serve as a service, an instance per link, and an example of its options.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/rq55-serve@.service DESTINATION lib/systemd/system)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/serve-site4.conf ${CMAKE_SOURCE_DIR}/packaging/serve-homeassistant.conf
        DESTINATION share/doc/rq55/examples)
# What a plant's Prometheus needs beside serve: the scrape configurations (plain, and TLS with a
# password), the alerting rules with their promtool tests, and an example web configuration.
install(FILES ${CMAKE_SOURCE_DIR}/docs/prometheus/prometheus.yml ${CMAKE_SOURCE_DIR}/docs/prometheus/prometheus-tls.yml
              ${CMAKE_SOURCE_DIR}/docs/prometheus/alerts.yml ${CMAKE_SOURCE_DIR}/docs/prometheus/alerts_test.yml
              ${CMAKE_SOURCE_DIR}/docs/prometheus/web-config.yml
        DESTINATION share/doc/rq55/examples/prometheus)
install(FILES ${CMAKE_SOURCE_DIR}/docs/grafana/rq55.json DESTINATION share/doc/rq55/examples/grafana)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/rq55.metainfo.xml DESTINATION share/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/rq55)
foreach(size 16 32 48 64 128 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/rq55-${size}.png
          DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME rq55.png)
endforeach()

# Manual pages go in compressed, as Debian keeps them.
find_program(GZIP gzip REQUIRED)
set(RQ55_MAN_PAGES)
foreach(executable ${RQ55_EXECUTABLES})
  set(page ${CMAKE_BINARY_DIR}/man/${executable}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/docs/man/${executable}.1 > ${page}
    DEPENDS ${CMAKE_SOURCE_DIR}/docs/man/${executable}.1 VERBATIM)
  list(APPEND RQ55_MAN_PAGES ${page})
endforeach()
set(RQ55_CHANGELOG ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_command(OUTPUT ${RQ55_CHANGELOG}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/doc
  COMMAND ${GZIP} -9nc ${CMAKE_SOURCE_DIR}/packaging/changelog > ${RQ55_CHANGELOG}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog VERBATIM)
add_custom_target(rq55-man ALL DEPENDS ${RQ55_MAN_PAGES} ${RQ55_CHANGELOG})
install(FILES ${RQ55_MAN_PAGES} DESTINATION share/man/man1)
install(FILES ${RQ55_CHANGELOG} DESTINATION share/doc/rq55)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rq55)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "RQ55 maintainers <maintainers@rq55.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up and watch an RQ55 network analyser over Modbus")
# CPack puts the summary first and each line of the long description after one blank: they stay
# under 80 columns.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "The desktop program with which an electrician or commissioning engineer\n\
sets up and watches one RQ55 network analyser over Modbus RTU on a serial\n\
port, Modbus/TCP, or RTU frames over TCP; rq55ctl, the same analyser from\n\
the command line, with a commissioning report and a feed for Prometheus\n\
and MQTT; and rq55-sim, a simulated analyser.")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The maintainer scripts look after the rq55-serve@ instances: reloaded and restarted on an
# upgrade, stopped on removal, their state folders removed on purge.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_SOURCE_DIR}/packaging/debian/postinst
    ${CMAKE_SOURCE_DIR}/packaging/debian/prerm ${CMAKE_SOURCE_DIR}/packaging/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
