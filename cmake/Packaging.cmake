# What `make install` and `make package` put on a machine: the program, the empty ledger that new
# ledgers are copied from, the user guide, and what a desktop needs to list it (entry, icons,
# AppStream metadata).
include(GNUInstallDirs)

set(RENTBOOK_APP_ID org.example.rentbook)
set(RENTBOOK_PACKAGE_RES ${CMAKE_SOURCE_DIR}/res/package)
set(RENTBOOK_ICON_SIZES 16 24 32 48 64 128 256)

# An installed program looks for the empty ledger in ../share/rentbook beside its own folder.
file(RELATIVE_PATH _rentbook_ledger_from_bin /root/${CMAKE_INSTALL_BINDIR} /root/${CMAKE_INSTALL_DATADIR}/rentbook)
if(NOT _rentbook_ledger_from_bin STREQUAL "../share/rentbook")
    message(FATAL_ERROR "Rentbook finds its empty ledger in ../share/rentbook from its executable; "
                        "CMAKE_INSTALL_BINDIR and CMAKE_INSTALL_DATADIR must keep that layout")
endif()

if(TARGET Rentbook)
    install(TARGETS Rentbook RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${RENTBOOK_EMPTY_LEDGER} DESTINATION ${CMAKE_INSTALL_DATADIR}/rentbook)
# The user guide F1 opens when the questions page on our site cannot be opened.
install(FILES ${CMAKE_SOURCE_DIR}/res/guide.html DESTINATION ${CMAKE_INSTALL_DATADIR}/rentbook)
install(FILES ${RENTBOOK_PACKAGE_RES}/${RENTBOOK_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${RENTBOOK_PACKAGE_RES}/${RENTBOOK_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The release entry follows the project's version; its date is the build's (SOURCE_DATE_EPOCH
# when set, so that a rebuilt package is the same package).
string(TIMESTAMP RENTBOOK_RELEASE_DATE "%Y-%m-%d" UTC)
configure_file(${RENTBOOK_PACKAGE_RES}/${RENTBOOK_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/package/${RENTBOOK_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/package/${RENTBOOK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian's documentation of a package: its copyright, its changelog and the manual page, the
# last two compressed as Debian policy asks (-n keeps the build's date out of the bytes).
install(FILES ${RENTBOOK_PACKAGE_RES}/copyright DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/rentbook)
set(_rentbook_docs)
foreach(doc changelog Rentbook.1)
    set(gz ${CMAKE_BINARY_DIR}/package/${doc}.gz)
    add_custom_command(
        OUTPUT ${gz}
        COMMAND gzip -9n -c ${RENTBOOK_PACKAGE_RES}/${doc} > ${gz}
        DEPENDS ${RENTBOOK_PACKAGE_RES}/${doc}
        COMMENT "Compressing ${doc}")
    list(APPEND _rentbook_docs ${gz})
endforeach()
add_custom_target(rentbook_docs ALL DEPENDS ${_rentbook_docs})
install(FILES ${CMAKE_BINARY_DIR}/package/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/rentbook)
install(FILES ${CMAKE_BINARY_DIR}/package/Rentbook.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# Menus and docks that cannot scale the SVG take the PNG of the nearest size, rendered from it.
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
    set(_rentbook_pngs)
    foreach(size IN LISTS RENTBOOK_ICON_SIZES)
        set(png ${CMAKE_BINARY_DIR}/package/icons/${size}x${size}/${RENTBOOK_APP_ID}.png)
        add_custom_command(
            OUTPUT ${png}
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/package/icons/${size}x${size}
            COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${RENTBOOK_PACKAGE_RES}/${RENTBOOK_APP_ID}.svg
            DEPENDS ${RENTBOOK_PACKAGE_RES}/${RENTBOOK_APP_ID}.svg
            COMMENT "Rendering the ${size}x${size} icon")
        list(APPEND _rentbook_pngs ${png})
        install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
    endforeach()
    add_custom_target(rentbook_icons ALL DEPENDS ${_rentbook_pngs})
else()
    message(WARNING "rsvg-convert (Debian librsvg2-bin) is missing: the package would lack the PNG icons. "
                    "Run ./scripts/install-deps.")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME rentbook)
set(CPACK_PACKAGE_VENDOR "The Rentbook developers")
set(CPACK_PACKAGE_CONTACT "The Rentbook developers <rentbook@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rent, water and electricity receipts with a ledger")
# Lines of the long description stay under 80 characters, as Debian asks.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Rentbook fills in, numbers, prints and keeps receipts for rent, water and\n"
    "electricity. It lists, searches, amends, reprints and exports the stored\n"
    "receipts. Each user's ledger, print fonts and lock live in that user's own\n"
    "data folder.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://rentbook.example.org/)
# Shared libraries are found by dpkg-shlibdeps (libsodium23 among them, which hashes the users'
# passwords; scripts/check-package makes sure it is there); these are loaded at run time or only
# read: the window-system plugins, Qt's Chinese texts for its own dialogs, and the print fonts' faces.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, qt6-translations-l10n, fonts-noto-cjk, fonts-arphic-ukai, fonts-arphic-uming")
include(CPack)

if(RENTBOOK_TESTS)
    # Builds the package from this tree and looks inside: contents, metadata, and a first start.
    add_test(NAME package_check COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-package ${CMAKE_BINARY_DIR}
                                        ${PROJECT_VERSION} ${RENTBOOK_APP_ID})
    set_tests_properties(package_check PROPERTIES TIMEOUT 600
                         ENVIRONMENT "ASAN_OPTIONS=detect_leaks=0")
endif()
