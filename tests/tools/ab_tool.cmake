# versit ab on one book: import the example cards, list them, export them,
# and refuse what is not an entry. Run with -DTOOL=, -DCARDS=, -DBOOK= (and
# -DEMULATOR= where the tool runs under one).
# (execute_process hands the output over with LF line ends.)
file(REMOVE ${BOOK} ${BOOK}-wal ${BOOK}-shm)
# Standard output holds the data alone (identifiers, cards, the list); the
# counts and messages follow it from standard error.
function(run expect_rc pattern)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ab ${ARGN} OUTPUT_VARIABLE out ERROR_VARIABLE err
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL expect_rc OR NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "versit ab ${ARGN}: exit ${rc}\n${out}${err}")
  endif()
endfunction()
run(0 "^1\\.1\\.0\n1\\.2\\.0\n.*created: 2\nskipped: 0\nresult: VERSIT_OK" import ${CARDS} --book ${BOOK})
run(0 "^1\\.1\\.0\tLindqvist, Maja\tmaja@nordvik\\.example\n1\\.2\\.0\tOkafor, Chidi\t\n$"
    list --book ${BOOK})
# (Her address holds a line break: the card is written again from its tree.
# The record has no field for the title in her name, her mobile number, the
# group of her e-mail address or the note: they come back from beside it.)
run(0 "FN:Dr\\. Maja Lindqvist\nN:Lindqvist;Maja;;Dr\\.;\n.*PHOTO;ENCODING=BASE64;GIF:R0lGOD.*TEL;CELL:\\+46-70-555-0199\nITEM1\\.EMAIL;INTERNET:maja@nordvik\\.example\n.*ITEM1\\.X-ABLABEL:lab\nNOTE;ENCODING=QUOTED-PRINTABLE:Met at the spring fair.*visit\\.\nEND:VCARD\n$"
    export --book ${BOOK} 1)
# His agent's card stays nested in his, right after AGENT.
run(0 "AGENT:\nBEGIN:VCARD\nVERSION:2\\.1\nFN:Ada Okafor\nTEL:\\+234-1-555-0124\nEND:VCARD\nEND:VCARD\n$"
    export --book ${BOOK} 2)
run(0 "^BEGIN:VCARD.*Lindqvist.*BEGIN:VCARD.*Okafor" export --book ${BOOK})
run(1 "CALAPI_ERR_NO_ENTRY" export --book ${BOOK} 1.9.0)
run(2 "not an entry identifier" export --book ${BOOK} x)
run(2 "usage" list ${CARDS})
# A card the book refuses is reported with its place; the cards after it
# are imported all the same, and the exit status says something was left.
file(REMOVE ${BOOK}-2 ${BOOK}-2-wal ${BOOK}-2-shm)
get_filename_component(here ${CMAKE_CURRENT_LIST_FILE} DIRECTORY)
run(1 "^1\\.1\\.0\n1\\.2\\.0\n.*refused-card\\.vcf: card 2 not imported: VCARD_ERR_BAD_COMPONENT.*created: 2\nskipped: 1\n"
    import ${here}/refused-card.vcf --book ${BOOK}-2)
# Only an import makes a book.
run(2 "no address book .*ab import creates one" list --book ${BOOK}-missing)
if(EXISTS ${BOOK}-missing)
  message(FATAL_ERROR "versit ab list created ${BOOK}-missing")
endif()
# An address with a line break goes out quoted-printable, so the export
# reads back: imported again, it is the same address.
file(REMOVE ${BOOK}-3 ${BOOK}-3-wal ${BOOK}-3-shm ${BOOK}-4 ${BOOK}-4-wal ${BOOK}-4-shm)
run(0 "created: 1" import ${here}/multiline-address.vcf --book ${BOOK}-3)
execute_process(COMMAND ${EMULATOR} ${TOOL} ab export --book ${BOOK}-3 -o ${BOOK}-3.vcf
                RESULT_VARIABLE rc)
file(READ ${BOOK}-3.vcf exported)
if(NOT rc EQUAL 0 OR NOT exported MATCHES "ADR;ENCODING=QUOTED-PRINTABLE;HOME:;;1 Main St=0D=0AApt 2;Town;;;\n")
  message(FATAL_ERROR "versit ab export -o: exit ${rc}\n${exported}")
endif()
run(0 "created: 1\nskipped: 0" import ${BOOK}-3.vcf --book ${BOOK}-4)
run(0 "ADR;ENCODING=QUOTED-PRINTABLE;HOME:;;1 Main St=0D=0AApt 2;Town;;;\n" export --book ${BOOK}-4)
# A phone's export (its fax and home numbers one line): every property the
# record has no field for, or holds only in part, comes back whole with its
# value and kinds, the photo labelled PNG with the same data; imported
# again, the export is the same.
foreach(n 5 6)
  file(REMOVE ${BOOK}-${n} ${BOOK}-${n}-wal ${BOOK}-${n}-shm)
endforeach()
run(0 "^1\\.1\\.0\n.*created: 1\nskipped: 0\nresult: VERSIT_OK" import ${here}/phone-export.vcf --book ${BOOK}-5)
function(export_to book file)
  execute_process(COMMAND ${EMULATOR} ${TOOL} ab export --book ${book} -o ${file}
                  RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "versit ab export --book ${book}: exit ${rc}\n${err}")
  endif()
endfunction()
export_to(${BOOK}-5 ${BOOK}-5.vcf)
execute_process(COMMAND ${EMULATOR} ${TOOL} parse ${BOOK}-5.vcf OUTPUT_VARIABLE tree RESULT_VARIABLE rc)
file(READ ${BOOK}-5.vcf exported)
string(REPLACE "\n " "" unfolded "${exported}")
foreach(expected
    "property \"N\"\n[^\n]*\n    value \"Doe;John;;Dr\\.;\""
    "property \"NICKNAME\"\n    value \"Johnny\""
    "property \"ROLE\"\n    value \"Site lead\""
    "property \"TITLE\"\n    value \"Engineer\""
    "parameter \\(bare\\) \"CELL\"\n    value \"\\+1 555 0102\""
    "parameter \\(bare\\) \"FAX\"\n    value \"\\+1 555 0101\""
    "parameter \\(bare\\) \"PAGER\"\n    value \"\\+1 555 0104\""
    "parameter \\(bare\\) \"HOME\"\n    value \"12 Quay Road\\\\r\\\\nPortsmouth PO1 2AB\" \\(from QUOTED-PRINTABLE\\)"
    "value \"Met at the boat show\" \\(from QUOTED-PRINTABLE\\)\n    value \"prefers calls after ten\\. Café owner\\.\""
    "property \"BDAY\"\n    value \"1970-03-14\""
    "property \"GEO\"\n    value \"50\\.79;-1\\.09\""
    "property \"TZ\"\n    value \"-05:00\""
    "parameter \"TYPE\" = \"PNG\"\n    value 67 bytes: 89 50 4e 47"
    "result: VERSIT_OK")
  if(NOT tree MATCHES "${expected}")
    message(FATAL_ERROR "the export of a phone's card lacks ${expected}:\n${exported}\n${tree}")
  endif()
endforeach()
string(FIND "${unfolded}" "AAAACklEQVR4nGNoAAAAggCBd81ytgAAAABJRU5ErkJggg==" photo)
if(photo EQUAL -1 OR NOT rc EQUAL 0)
  message(FATAL_ERROR "the export of a phone's card lost the photo's data:\n${exported}")
endif()
run(0 "created: 1\nskipped: 0" import ${BOOK}-5.vcf --book ${BOOK}-6)
export_to(${BOOK}-6 ${BOOK}-6.vcf)
file(READ ${BOOK}-6.vcf again)
string(REGEX REPLACE "REV:[^\n]*\n" "" exported "${exported}")
string(REGEX REPLACE "REV:[^\n]*\n" "" again "${again}")
if(NOT exported STREQUAL again)
  message(FATAL_ERROR "imported again, the export changed:\n${exported}\n---\n${again}")
endif()
