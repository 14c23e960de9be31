# The program's translations: translations/dralvo_<language>.ts are the
# sources (kept with the code), each compiled by lrelease into
# <build>/translations/dralvo_<language>.qm, where the program finds them from
# the build tree; installed into share/dralvo/translations.
#
#   cmake --build build --target update_translations
#       brings every .ts file up to date with the texts in the code (lupdate);
#       translate the new entries, then build as usual.
#   scripts/add-translation.sh LANGUAGE
#       starts a new language (for example de): the .ts file with every text,
#       picked up by the next build.
find_program(DRALVO_LRELEASE NAMES lrelease lrelease-qt6
             HINTS /usr/lib/qt6/bin /usr/lib/qt6/libexec)
find_program(DRALVO_LUPDATE NAMES lupdate lupdate-qt6
             HINTS /usr/lib/qt6/bin /usr/lib/qt6/libexec)
if(NOT DRALVO_LRELEASE OR NOT DRALVO_LUPDATE)
  message(FATAL_ERROR "lrelease and lupdate of Qt 6 are needed (Debian: qt6-l10n-tools; "
                      "scripts/install-deps.sh installs it)")
endif()

# Every folder whose texts the user sees.
set(DRALVO_TRANSLATED_SOURCES app terminal comm appinfo widgets history macros)
file(GLOB DRALVO_TS_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/translations/dralvo_*.ts)
set(DRALVO_QM_DIR ${CMAKE_BINARY_DIR}/translations)
set(dralvo_qm_files)
foreach(ts ${DRALVO_TS_FILES})
  get_filename_component(base ${ts} NAME_WE)
  set(qm ${DRALVO_QM_DIR}/${base}.qm)
  add_custom_command(OUTPUT ${qm}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${DRALVO_QM_DIR}
                     COMMAND ${DRALVO_LRELEASE} -silent ${ts} -qm ${qm}
                     DEPENDS ${ts}
                     VERBATIM)
  list(APPEND dralvo_qm_files ${qm})
endforeach()
add_custom_target(translations ALL DEPENDS ${dralvo_qm_files})
install(FILES ${dralvo_qm_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/dralvo/translations)

set(dralvo_lupdate_dirs)
foreach(dir ${DRALVO_TRANSLATED_SOURCES})
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir})
    list(APPEND dralvo_lupdate_dirs ${CMAKE_SOURCE_DIR}/${dir})
  endif()
endforeach()
add_custom_target(update_translations
                  COMMAND ${DRALVO_LUPDATE} -silent -I ${CMAKE_SOURCE_DIR} -locations none -no-obsolete
                          ${dralvo_lupdate_dirs} -ts ${DRALVO_TS_FILES}
                  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}
                  COMMENT "Bringing the translations up to date with the code"
                  VERBATIM)
