# cmake -DCTEST=<ctest> -DTESTS=<folder> -P check_skips.cmake: runs the skip
# probe's tests (tests/skips/skip_probe.cc) as CTest runs every test of the
# folder, with their properties, and fails unless only the test that skipped
# saying what the machine lacks counts as skipped: a suite whose set-up
# failed, a skip without a reason and a failure followed by a skip fail.
set(expected
  "SkipProbeSetUpFails.Test=Failed"
  "SkipProbe.SkipsSayingWhatIsMissing=Skipped"
  "SkipProbe.SkipsWithoutSayingWhy=Failed"
  "SkipProbe.FailsThenSkips=Failed"
  "SkipProbe.Passes=Passed")

# The probe's own Testing folder, not the one of the run this is part of;
# and no fixture (Wine's server) started or stopped for it.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env CUESMELT_SKIP_PROBE=1
          ${CTEST} --test-dir ${TESTS} --tests-regex "^SkipProbe" --fixture-exclude-any ".*"
  OUTPUT_VARIABLE output ERROR_VARIABLE output)
set(wrong "")
foreach(row IN LISTS expected)
  string(REPLACE "=" ";" row "${row}")
  list(GET row 0 test)
  list(GET row 1 outcome)
  string(REPLACE "." "[.]" pattern "${test}")
  if(NOT output MATCHES "Test +#[0-9]+: ${pattern} [.]+[* ]*${outcome}")
    string(APPEND wrong "  ${test}: not ${outcome}\n")
  endif()
endforeach()
if(wrong)
  message(FATAL_ERROR "CTest read the probe's tests wrong:\n${wrong}\nCTest said:\n${output}")
endif()
message(STATUS "a failing set-up, a skip without a reason and a failure then a skip fail; "
               "only a skip that says what is missing counts as one")
