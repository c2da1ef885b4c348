# The manual page is the receiver's own --help text, so that the two never disagree:
#   cmake -DBINARY=... -DVERSION=... -DOUTPUT=.../verlisk-receiver.1.gz -P help-to-man.cmake
execute_process(COMMAND ${BINARY} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR help STREQUAL "")
  message(FATAL_ERROR "${BINARY} --help failed (${status})")
endif()
# roff: a backslash is \e, a minus to type is \-, and a line may not start with . or '.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
# The synopsis is the usage, up to the first empty line.
string(REGEX REPLACE "^Usage: ([^\n]*(\n[^\n]+)*)\n\n" "" description "${help}")
set(synopsis "${CMAKE_MATCH_1}")
if(synopsis STREQUAL "")
  message(FATAL_ERROR "${BINARY} --help does not start with a Usage: line")
endif()
# Continuation lines stay under the command's first option without "Usage: " before it.
string(REPLACE "\n       " "\n" synopsis "${synopsis}")
file(WRITE ${OUTPUT}.tmp ".TH VERLISK\\-RECEIVER 1 \"\" \"verlisk\\-receiver ${VERSION}\" \"Verlisk\"
.SH NAME
verlisk\\-receiver \\- Verlisk's fuel report receiver
.SH SYNOPSIS
.nf
${synopsis}
.fi
.SH DESCRIPTION
.nf
${description}.fi
.SH FILES
.TP
/usr/lib/systemd/system/verlisk\\-receiver.service
the service: \\fBsystemctl status verlisk\\-receiver\\fR, \\fBjournalctl \\-u verlisk\\-receiver\\fR
.TP
/var/lib/verlisk\\-receiver/reports.sqlite
the service's reports
.TP
/etc/verlisk\\-receiver.env
the service's environment, if present (PGPASSWORD=...)
")
# -n: no name or time stamp in the header, so that a rebuild gives the same bytes.
execute_process(COMMAND gzip -9nf ${OUTPUT}.tmp RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed")
endif()
file(RENAME ${OUTPUT}.tmp.gz ${OUTPUT})
