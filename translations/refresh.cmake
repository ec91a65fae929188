# SPDX-License-Identifier: GPL-3.0-or-later
# Copies each .ts file in TS_FILES into OUT_DIR and brings the copy up to date with the
# sources listed in SOURCES_LIST, running LUPDATE with OPTIONS. What the copy then holds as
# unfinished or vanished is missing from, or stale in, the file kept in the repository.
#   cmake -DLUPDATE=... -DSOURCES_LIST=... -DTS_FILES=a.ts;b.ts -DOUT_DIR=... -DOPTIONS=...
#         -P refresh.cmake
file(REMOVE_RECURSE "${OUT_DIR}")
file(MAKE_DIRECTORY "${OUT_DIR}")
foreach(ts IN LISTS TS_FILES)
  get_filename_component(name "${ts}" NAME)
  file(COPY_FILE "${ts}" "${OUT_DIR}/${name}")
  execute_process(
    COMMAND "${LUPDATE}" -silent ${OPTIONS} "@${SOURCES_LIST}" -ts "${OUT_DIR}/${name}"
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "lupdate failed on ${name}: ${result}")
  endif()
endforeach()
