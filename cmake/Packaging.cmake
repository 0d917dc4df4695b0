# Where an installation puts each file, and the packages built from it:
#   Linux:   cmake --build --preset linux-release --target deb
#            -> build/linux-release/ferrowin_<version>_<arch>.deb
#   Windows: cmake --build --preset windows-i686 --target winzip
#            -> build/windows-i686/Ferrowin-<version>-win32.zip
#
# Linux layout. The importer reads "InstallPath" from the registry file and
# loads <InstallPath>/libpellinor.so and <InstallPath>/Setting/..., so the
# install folder is /usr/lib/ferrowin/ and its Setting/ is a link to the
# configuration in /etc/kestrafold/Setting/, where dpkg keeps it as conffiles.
#
#   /usr/sbin/ferrowin                      the importer (run by root from a timer)
#   /usr/lib/ferrowin/libpellinor.so        InstallPath
#   /usr/lib/ferrowin/Setting -> /etc/kestrafold/Setting
#   /etc/kestrafold/registry.reg            HKEY_LOCAL_MACHINE, mode 0600 (password)
#   /etc/kestrafold/Setting/KFSettings.ini  backup and error folders
#   /etc/kestrafold/Setting/2/product.ini   log kinds, product folder
#   /etc/default/ferrowin                   the service's input folder and environment
#   /etc/logrotate.d/ferrowin               rotation of the event file
#   /lib/systemd/system/ferrowin.{service,timer}
#   /var/spool/ferrowin/                    input folder: agents deliver here
#   /var/lib/ferrowin/                      embedded database, backup/, error/, LogError/
#   /var/log/ferrowin/                      the event file, when KESTRAFOLD_EVENTLOG names it
#   /usr/share/ferrowin/VeyrithSchema.sql   the schema for a real SQL Server
#   /usr/share/ferrowin/VeyrithLoadLedger.sql  the load ledger alone, for an existing one
#   /usr/share/man/man8/ferrowin.8.gz, /usr/share/doc/ferrowin/

# `make install` and cpack install only what the package needs; the deb and
# winzip targets build it first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME ferrowin)
set(CPACK_PACKAGE_VENDOR "Zorel")
set(CPACK_PACKAGE_CONTACT "Kestrafold operations <root@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Veyrith log importer (Ferrowin) and its notification library (Pellinor)")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})

set(PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WINDOWS_BUILD)
    # The zip: Ferrowin.exe (once the Win32 program links), Pellinor.dll, the
    # schema and an example .reg file, all in one folder.
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(CPACK_PACKAGE_FILE_NAME "Ferrowin-${PROJECT_VERSION}-win32")
    else()
        set(CPACK_PACKAGE_FILE_NAME "Ferrowin-${PROJECT_VERSION}-win64")
    endif()
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    set(zip_targets pellinor)
    if(TARGET ferrowin)
        set_target_properties(ferrowin PROPERTIES OUTPUT_NAME Ferrowin)
        list(APPEND zip_targets ferrowin)
        install(PROGRAMS $<TARGET_FILE:ferrowin> DESTINATION .)
    endif()
    install(PROGRAMS $<TARGET_FILE:pellinor> DESTINATION .)
    install(FILES ${CMAKE_SOURCE_DIR}/Database/VeyrithSchema.sql
                  ${CMAKE_SOURCE_DIR}/Database/VeyrithLoadLedger.sql DESTINATION .)
    # regedit reads CR LF; the file is kept with LF in the repository.
    file(READ ${PACKAGING_DIR}/windows/Ferrowin.reg reg_text)
    file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/Ferrowin.reg CONTENT "${reg_text}"
         @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/Ferrowin.reg DESTINATION .)
    add_custom_target(winzip
        COMMAND ${CMAKE_CPACK_COMMAND} -G ZIP --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Packing ${CPACK_PACKAGE_FILE_NAME}.zip"
        VERBATIM)
    add_dependencies(winzip ${zip_targets})
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION admin)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tdsodbc, sqlite3, logrotate, prometheus-node-exporter")
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "Veyrith log importer (Ferrowin) and its notification library (Pellinor)\n\
Loads the CSV activity logs that client agents deliver into the product\n\
database (SQL Server through ODBC, or the embedded default database), moves\n\
each file to a backup or error folder, and reports every failure as a\n\
numbered event in the system journal. A systemd timer runs it every five\n\
minutes over the folder named in /etc/default/ferrowin.")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        ${PACKAGING_DIR}/linux/conffiles
        ${PACKAGING_DIR}/linux/prerm
        ${PACKAGING_DIR}/linux/postrm)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

    install(TARGETS ferrowin RUNTIME DESTINATION sbin)
    install(TARGETS pellinor LIBRARY DESTINATION lib/ferrowin)
    install(CODE "file(CREATE_LINK ../../../etc/kestrafold/Setting
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/ferrowin/Setting\" SYMBOLIC)")

    install(FILES ${PACKAGING_DIR}/linux/registry.reg DESTINATION /etc/kestrafold
            PERMISSIONS OWNER_READ OWNER_WRITE)
    install(FILES ${PACKAGING_DIR}/linux/KFSettings.ini DESTINATION /etc/kestrafold/Setting)
    install(FILES ${PACKAGING_DIR}/linux/product.ini DESTINATION /etc/kestrafold/Setting/2)
    install(FILES ${PACKAGING_DIR}/linux/ferrowin.default DESTINATION /etc/default
            RENAME ferrowin)
    install(FILES ${PACKAGING_DIR}/linux/ferrowin.service ${PACKAGING_DIR}/linux/ferrowin.timer
            DESTINATION /lib/systemd/system)
    install(FILES ${PACKAGING_DIR}/linux/ferrowin.logrotate DESTINATION /etc/logrotate.d
            RENAME ferrowin)
    install(DIRECTORY DESTINATION /var/spool/ferrowin)
    # Where each file is claimed before its load: the importer's own, on the
    # input folder's file system, beside it (the sandbox needs it to exist).
    install(DIRECTORY DESTINATION /var/spool/.ferrowin-claim
            DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    install(DIRECTORY DESTINATION /var/lib/ferrowin
            DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
    install(DIRECTORY DESTINATION /var/log/ferrowin
            DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
    foreach(folder backup error)
        install(DIRECTORY DESTINATION /var/lib/ferrowin/${folder}
                DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
    endforeach()

    install(FILES ${CMAKE_SOURCE_DIR}/Database/VeyrithSchema.sql
                  ${CMAKE_SOURCE_DIR}/Database/VeyrithLoadLedger.sql DESTINATION share/ferrowin)
    set(man_page ${CMAKE_BINARY_DIR}/ferrowin.8.gz)
    add_custom_command(OUTPUT ${man_page}
        COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/docs/ferrowin.8 > ${man_page}
        DEPENDS ${CMAKE_SOURCE_DIR}/docs/ferrowin.8
        COMMENT "Compressing ferrowin(8)")
    add_custom_target(manpage ALL DEPENDS ${man_page})
    install(FILES ${man_page} DESTINATION share/man/man8)
    install(FILES ${CMAKE_SOURCE_DIR}/docs/operations.md
            ${PACKAGING_DIR}/linux/copyright
            DESTINATION share/doc/ferrowin)
    install(FILES ${PACKAGING_DIR}/linux/registry-sqlserver.reg
            ${PACKAGING_DIR}/linux/odbc.ini
            DESTINATION share/doc/ferrowin/examples)

    add_custom_target(deb
        COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
        WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
        COMMENT "Packing the .deb"
        VERBATIM)
    add_dependencies(deb ferrowin pellinor manpage)
endif()

include(CPack)
