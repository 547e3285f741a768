# `make package` (cpack in the build folder): a Debian package of what cmake/Install.cmake
# installs, named ferrymail_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ferrymail)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Ferrymail developers <ferrymail@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "mail many files as attachments, split over messages of a maximum size")
string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Ferrymail packs the files ticked in a folder's list, in list order, into as\n"
    "many messages as a size limit requires, each message's subject naming the\n"
    "files it carries. It files every message, complete, into an outbox: a Maildir\n"
    "folder, or the Drafts folder of an IMAP account. There you review the messages\n"
    "in your mail client before they go out.\n"
    "\n"
    "It has a small window, and the same sending from the command line without a\n"
    "display.")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The linked libraries come from dpkg-shlibdeps. Qt loads its platform plugin, reads the MIME
# database and needs a font at run time, none of which shows up in the links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, shared-mime-info, fonts-dejavu-core | fonts-liberation2 | fonts-freefont-ttf")
# QtKeychain loads libsecret at run time to reach GNOME's and most desktops' keyring.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsecret-1-0")

# The changelog's newest entry has to name the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/resources/debian/changelog changelog_top LIMIT_COUNT 1)
if(NOT changelog_top MATCHES "^ferrymail \\(${PROJECT_VERSION}\\) ")
    message(WARNING "resources/debian/changelog has no entry for version ${PROJECT_VERSION} "
                    "at its top; add one before packaging.")
endif()

include(CPack)
