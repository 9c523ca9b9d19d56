# RQ55 for Windows (make windows): what a Windows user needs beside the programs, laid out by
# `cmake --install` into one folder (the zip's content and what the setup program installs):
# the executables, the panels, the language file and icons, the Qt libraries and plug-ins they
# load, the MinGW run-time libraries, and the licences.
configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/rq55.rc.in ${CMAKE_BINARY_DIR}/rq55.rc @ONLY)
target_sources(rq55 PRIVATE ${CMAKE_BINARY_DIR}/rq55.rc)

set(RQ55_WINDOWS_PROGRAMS rq55 rq55ctl rq55ctl-report rq55-sim)
install(TARGETS ${RQ55_WINDOWS_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${RQ55_RESOURCE_FILES} DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

# Qt: the libraries the programs link, the Windows platform plug-in (and the offscreen one, for
# --check-install and the report without a display), the native style, and the icon reader.
set(RQ55_QT_DIR "${QT6_INSTALL_PREFIX}")
foreach(module Core Gui Widgets Network SerialPort Charts)
  install(FILES ${RQ55_QT_DIR}/bin/Qt6${module}.dll DESTINATION .)
endforeach()
install(FILES ${RQ55_QT_DIR}/plugins/platforms/qwindows.dll ${RQ55_QT_DIR}/plugins/platforms/qoffscreen.dll
        DESTINATION platforms)
install(FILES ${RQ55_QT_DIR}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles)
install(FILES ${RQ55_QT_DIR}/plugins/imageformats/qico.dll DESTINATION imageformats)
install(DIRECTORY ${RQ55_QT_DIR}/licenses/ DESTINATION licenses/Qt OPTIONAL)

# The compiler's run-time libraries, where the cross compiler keeps them.
set(RQ55_MINGW_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll} OUTPUT_VARIABLE found
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
    find_file(found_${dll} ${dll} PATHS /usr/${RQ55_MINGW}/lib /usr/lib/gcc/${RQ55_MINGW}/12-posix NO_DEFAULT_PATH)
    set(found ${found_${dll}})
  endif()
  if(NOT EXISTS "${found}")
    message(FATAL_ERROR "The MinGW run-time library ${dll} was not found.")
  endif()
  list(APPEND RQ55_MINGW_RUNTIME ${found})
endforeach()
install(FILES ${RQ55_MINGW_RUNTIME} DESTINATION .)
