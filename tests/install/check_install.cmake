# Installs the build into a fresh prefix and checks what lands there:
#   cmake -DBUILD_DIR=... -DPREFIX=... -P check_install.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

function(expect path)
  if(NOT EXISTS "${PREFIX}/${path}")
    message(FATAL_ERROR "missing after install: ${path}")
  endif()
endfunction()

expect(bin/tamvolo)
expect(share/applications/org.tamvolo.Tamvolo.desktop)
expect(share/icons/hicolor/scalable/apps/org.tamvolo.Tamvolo.svg)

# The kit is data, under share/, where the program looks from bin/.
file(GLOB samples "${PREFIX}/share/tamvolo/voc/*.wav")
list(LENGTH samples count)
if(NOT count EQUAL 31)
  message(FATAL_ERROR "expected the 31 samples in share/tamvolo/voc, found ${count}")
endif()
foreach(name J.wav Stamp.wav "è.wav" "ò.wav")
  expect("share/tamvolo/voc/${name}")
endforeach()

file(READ "${PREFIX}/share/applications/org.tamvolo.Tamvolo.desktop" entry)
foreach(line "Type=Application" "Name=Tamvolo" "Exec=tamvolo" "Icon=org.tamvolo.Tamvolo")
  string(FIND "${entry}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
# The manual page as man shows it: every row of the keys table there (a
# lone "_" would be read by tbl as a rule), and the MIDI option.
find_program(GROFF groff)
if(GROFF)
  execute_process(COMMAND "${GROFF}" -t -man -Tutf8 -P-bcu "${PREFIX}/share/man/man1/tamvolo.1"
                  OUTPUT_VARIABLE manual ERROR_VARIABLE manual_errors RESULT_VARIABLE result)
  foreach(text "_ +trat.wav +ratchet" "--midi-manuale")
    if(NOT manual MATCHES "${text}")
      message(FATAL_ERROR "the manual page does not show ${text}:\n${manual}")
    endif()
  endforeach()
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "install into ${PREFIX}: complete")
