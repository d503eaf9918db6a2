# Builds one manual page: @PROJECT_VERSION@ filled in and, when PROGRAM is given, the
# sections that list the command line (@QM_SYNOPSIS@, @QM_OPTIONS@) taken from the
# program's own option table (PROGRAM --help-man), so that --help and the page read the
# same table. Writes OUT and OUT.gz (gzip -9n, as Debian ships manual pages).
#
#   cmake -DIN=page.1.in -DOUT=page.1 -DVERSION=x.y.z [-DPROGRAM=quillmark-check] -P make-man.cmake
file(READ "${IN}" text)
if(PROGRAM)
  execute_process(COMMAND "${PROGRAM}" --help-man OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  string(FIND "${sections}" "\n.SH OPTIONS" at)
  if(NOT rc EQUAL 0 OR at LESS 0)
    message(FATAL_ERROR "${PROGRAM} --help-man failed (${rc})")
  endif()
  string(SUBSTRING "${sections}" 0 ${at} synopsis)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${sections}" ${at} -1 options)
  string(REPLACE "@QM_SYNOPSIS@\n" "${synopsis}\n" text "${text}")
  string(REPLACE "@QM_OPTIONS@\n" "${options}" text "${text}")
endif()
string(REPLACE "@PROJECT_VERSION@" "${VERSION}" text "${text}")
file(WRITE "${OUT}" "${text}")
execute_process(COMMAND gzip -9n -c "${OUT}" OUTPUT_FILE "${OUT}.gz" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of ${OUT} failed")
endif()
