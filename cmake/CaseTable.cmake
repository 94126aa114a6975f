# The upper-case table of the matcher (CaseTable.h), generated at build time
# from the Unicode Character Database of Debian's unicode-data package by
# scripts/gen-case-table.py. Included by the program's build and by the fuzz
# targets' own project.
#   hm_case_table(<folder>)  adds the target hm_case_table, which writes
#                            <folder>/CaseTable.h; put <folder> on the include
#                            path of whatever includes driver/common/CaseFold.h
set(HM_UNICODE_DATA_FILE /usr/share/unicode/UnicodeData.txt CACHE FILEPATH "UnicodeData.txt of the Unicode Character Database")
if(NOT EXISTS "${HM_UNICODE_DATA_FILE}")
  message(FATAL_ERROR "/usr/share/unicode/UnicodeData.txt is missing (Debian's unicode-data; run scripts/setup.sh)")
endif()
find_program(HM_PYTHON3 python3 REQUIRED NO_CMAKE_FIND_ROOT_PATH)
set(HM_CASE_TABLE_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/../scripts/gen-case-table.py)

function(hm_case_table dir)
  file(MAKE_DIRECTORY ${dir})
  add_custom_command(OUTPUT ${dir}/CaseTable.h
    COMMAND ${HM_PYTHON3} ${HM_CASE_TABLE_SCRIPT} ${HM_UNICODE_DATA_FILE} ${dir}/CaseTable.h
    DEPENDS ${HM_CASE_TABLE_SCRIPT} ${HM_UNICODE_DATA_FILE}
    COMMENT "Generating the upper-case table from the Unicode data"
    VERBATIM)
  add_custom_target(hm_case_table DEPENDS ${dir}/CaseTable.h)
endfunction()
