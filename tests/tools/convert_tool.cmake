# versit convert on the bundled examples: formats read from the content,
# JSON of several files one array, honest exit codes, and data alone on
# standard output. Run with -DTOOL=, -DEXAMPLES=, -DOUT= (a scratch folder),
# and -DEMULATOR= where the tool runs under one.
file(MAKE_DIRECTORY ${OUT})
function(run expect_rc out_pattern err_pattern)
  execute_process(COMMAND ${EMULATOR} ${TOOL} convert ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL expect_rc OR NOT "${out}" MATCHES "${out_pattern}"
     OR NOT "${err}" MATCHES "${err_pattern}")
    message(FATAL_ERROR "versit convert ${ARGN}: exit ${rc}\nstdout:\n${out}\nstderr:\n${err}")
  endif()
endfunction()
# 2.1 to 4.0 by default; the AGENT card cannot stay a card in 4.0: exit 1.
run(1 "^BEGIN:VCARD\r?\nVERSION:4\\.0\r?\n.*RELATED;TYPE=agent" "converted 2 of 2 cards from vcard21 to vcard4, 1 with something not carried over"
    ${EXAMPLES}/contacts.vcf)
# Calendars to iCalendar, nothing lost but a role and a status: named with --verbose.
run(1 "^BEGIN:VCALENDAR\r?\nVERSION:2\\.0\r?\n.*RRULE:FREQ=WEEKLY" "team-calendar\\.vcs:[0-9]+: lost: ATTENDEE"
    --to ical --verbose ${EXAMPLES}/team-calendar.vcs)
# Several files as jCard: one JSON array of all their cards.
run(1 "^\\[\\[\"vcard\", .*\\],\n\\[\"vcard\", .*\\]\\]\n$" "converted"
    --to jcard ${EXAMPLES}/contacts.vcf ${EXAMPLES}/contacts.vcf)
# What cannot be: cards to a calendar format, an unknown format, no data.
run(2 "^$" "holds cards, which cannot become ical" --to ical ${EXAMPLES}/contacts.vcf)
run(2 "^$" "unknown format 'vcard5'" --to vcard5 ${EXAMPLES}/contacts.vcf)
run(2 "^$" "holds no vCard or vCalendar" ${EXAMPLES}/README.md)
# -o writes the file; standard output stays empty.
run(0 "^$" "converted 2 of 2 items" --to vcal10 -o ${OUT}/meeting.vcs ${EXAMPLES}/meeting.vcs)
# Again, over the file it wrote: an output that exists is no input.
run(0 "^$" "converted 2 of 2 items" --to vcal10 -o ${OUT}/meeting.vcs ${EXAMPLES}/meeting.vcs)
# An input named as the output too is refused before it is emptied.
file(COPY ${EXAMPLES}/meeting.vcs DESTINATION ${OUT}/in)
run(2 "^$" "is read and would be overwritten by -o"
    --to vcal10 -o ${OUT}/in/meeting.vcs ${OUT}/in/meeting.vcs)
# (In hex: CMake's text reading drops the CRs of CR LF.)
file(READ ${OUT}/meeting.vcs written HEX)
string(HEX "BEGIN:VCALENDAR\r\nVERSION:1.0\r\n" expected)
string(FIND "${written}" "${expected}" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "versit convert -o wrote no CR LF vCalendar 1.0:\n${written}")
endif()
