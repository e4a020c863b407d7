# Packs tarvex-windows-VERSION.zip: PROGRAM, README with Windows line endings (README.txt), and the manual
# page MANUAL made HTML by MANDOC (tarvex-cli.html), in one folder named like the zip.
#   cmake -DPROGRAM=EXE -DREADME=TXT -DMANUAL=PAGE -DMANDOC=PATH -DVERSION=V -DSTAGE=DIR -DZIP=FILE -P pack.cmake
if(NOT MANDOC OR NOT EXISTS "${MANDOC}")
  message(FATAL_ERROR "mandoc (Debian package mandoc) is needed for the manual in HTML")
endif()
set(name tarvex-windows-${VERSION})
set(folder ${STAGE}/${name})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${folder})
file(COPY ${PROGRAM} DESTINATION ${folder})
file(READ ${README} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${folder}/README.txt "${text}")
execute_process(COMMAND ${MANDOC} -Thtml ${MANUAL} OUTPUT_FILE ${folder}/tarvex-cli.html
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "mandoc could not make ${MANUAL} HTML")
endif()
file(REMOVE ${ZIP})
# A fixed time for every entry, so that two builds of the same sources give the same zip.
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip "--mtime=2000-01-01 00:00:00 UTC" ${name}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot pack ${ZIP}")
endif()
