# SPDX-License-Identifier: GPL-3.0-or-later
# Build step: writes sorvina-cli's completion scripts for bash, zsh and fish, each from
# the program's own `--completion SHELL`. A script is written beside its name and renamed
# over it when complete, so a failed run leaves no half script behind.
#   cmake -DPROGRAM=path/to/sorvina-cli -DOUTPUT_DIR=folder -P write_completions.cmake
foreach(shell_and_file "bash;sorvina-cli.bash" "zsh;_sorvina-cli" "fish;sorvina-cli.fish")
  list(GET shell_and_file 0 shell)
  list(GET shell_and_file 1 file)
  set(script "${OUTPUT_DIR}/${file}")
  file(MAKE_DIRECTORY "${OUTPUT_DIR}")
  execute_process(COMMAND "${PROGRAM}" --completion ${shell}
    OUTPUT_FILE "${script}.part"
    ERROR_VARIABLE error
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    file(REMOVE "${script}.part")
    message(FATAL_ERROR "${PROGRAM} --completion ${shell} failed (${status}): ${error}")
  endif()
  file(RENAME "${script}.part" "${script}")
endforeach()
